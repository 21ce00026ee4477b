#pragma once
// The start-up splash: the title line in blue for a few seconds, closed early by a click.

#include <QDialog>

class QLabel;
class QTimer;

namespace vrx {

class IntroForm : public QDialog {
    Q_OBJECT
public:
    explicit IntroForm(QWidget* parent = nullptr);

    QTimer* Timer1 = nullptr;
    QLabel* Label1 = nullptr;

    // Sets the timer's interval, the label's caption and the window's width, and centres the
    // window on the screen; the caller then shows it modally. Milliseconds, so that tests
    // need not wait whole seconds.
    void prepare(int intervalMs);

    // The label's caption: the title line with the title's ampersands doubled, so that the
    // label shows each as one literal "&" and no access key.
    static QString labelCaption();

    // The caption currently set on Label1 ("&&" for a literal ampersand).
    const QString& caption() const { return m_caption; }

    // True once the window has been activated and its timer started.
    bool timerStarted() const { return m_activated; }

public slots:
    // Closes the splash; the timer and a click on the window end here too.
    void Label1_Click();
    void Timer1_Timer();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Activate();
    void Form_Click();
    void setCaption(const QString& caption);

    QString m_caption;
    bool m_activated = false;
    bool m_closing = false;
    bool m_pressedOnWindow = false;
    bool m_pressedOnLabel = false;
};

} // namespace vrx
