#include "platform/WindowSystemStart.h"

#include <QByteArray>
#include <QList>
#include <QMessageLogContext>
#include <QRegularExpression>

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace vrx {

namespace {

struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};

QtMessageHandler previousHandler = nullptr;
QList<HeldMessage> held;

// A name from the environment or the command line, made safe for one line of a terminal.
QString oneLine(const QString& text)
{
    QString shown;
    for (const QChar ch : text) {
        if (ch.unicode() < 0x20 || ch.unicode() == 0x7F)
            shown += QStringLiteral("\\x%1").arg(int(ch.unicode()), 2, 16, QLatin1Char('0'));
        else
            shown += ch;
    }
    return shown;
}

void holdOrFail(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type != QtFatalMsg) {
        held.append({type, QByteArray(context.category), text});
        return;
    }
    QStringList messages;
    for (const HeldMessage& message : std::as_const(held))
        messages << message.text;
    messages << text;
    const QByteArray line = (WindowSystemStart::failureLine(messages) + QLatin1Char('\n')).toLocal8Bit();
    std::fputs(line.constData(), stderr);
    std::fflush(stderr);
    // Qt would abort() once this returns; nothing of the program has started yet to be put away.
    std::_Exit(1);
}

} // namespace

WindowSystemStart::WindowSystemStart() : m_active(true)
{
    held.clear();
    previousHandler = qInstallMessageHandler(holdOrFail);
}

WindowSystemStart::~WindowSystemStart()
{
    finished();
}

void WindowSystemStart::finished()
{
    if (!m_active)
        return;
    m_active = false;
    qInstallMessageHandler(previousHandler);
    const QList<HeldMessage> messages = std::exchange(held, {});
    for (const HeldMessage& message : messages) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.category.constData());
        if (previousHandler)
            previousHandler(message.type, context, message.text);
    }
}

QString WindowSystemStart::failureLine(const QStringList& messages)
{
    static const QRegularExpression display(QStringLiteral("^could not connect to display ?(.*)$"));
    static const QRegularExpression notFound(QStringLiteral("^Could not find the Qt platform plugin \"([^\"]*)\""));
    static const QRegularExpression notLoaded(QStringLiteral("^Could not load the Qt platform plugin \"([^\"]*)\""));
    static const QRegularExpression available(QStringLiteral("Available platform plugins are: ([^\\n]*?)\\.?\\s*$"));
    const QString fatal = messages.isEmpty() ? QString() : messages.constLast();
    for (const QString& message : messages) {
        const QRegularExpressionMatch match = display.match(message);
        if (!match.hasMatch())
            continue;
        const QString name = match.captured(1).trimmed();
        if (name.isEmpty())
            return QStringLiteral("vrxpv: cannot open a display: DISPLAY is not set; start it in a desktop session");
        return QStringLiteral("vrxpv: cannot open the display \"%1\"; start it in a desktop session").arg(oneLine(name));
    }
    for (const QString& message : messages) {
        if (const QRegularExpressionMatch match = notFound.match(message); match.hasMatch()) {
            QString line = QStringLiteral("vrxpv: there is no Qt platform plugin \"%1\"").arg(oneLine(match.captured(1)));
            if (const QRegularExpressionMatch list = available.match(fatal); list.hasMatch() && !list.captured(1).isEmpty())
                line += QStringLiteral("; the installed ones are: ") + oneLine(list.captured(1));
            return line;
        }
        if (const QRegularExpressionMatch match = notLoaded.match(message); match.hasMatch())
            return QStringLiteral("vrxpv: the Qt platform plugin \"%1\" cannot be loaded; QT_DEBUG_PLUGINS=1 shows why")
                .arg(oneLine(match.captured(1)));
    }
    return QStringLiteral("vrxpv: ") + oneLine(fatal.section(QLatin1Char('\n'), 0, 0));
}

} // namespace vrx
