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

    // Sets the interval, the caption and the width; the caller then shows the window modally.
    void prepare(int seconds);

    // The splash's title line; ampersands doubled so the label shows them literally.
    static QString labelCaption();

public slots:
    void Label1_Click();
    void Timer1_Timer();

protected:
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Activate();
    void Form_Click();
    bool m_activated = false;
};

} // namespace vrx
