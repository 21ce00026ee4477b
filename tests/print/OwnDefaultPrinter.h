#pragma once
// The printing tests' own default printer, whatever the machine's or its user's is.
//
// CUPS takes a user's default printer from LPDEST or PRINTER, then from ~/.cups/lpoptions, then
// from the system, and saves a newly chosen one in ~/.cups/lpoptions. For as long as this object
// lives, the process has a home folder of its own whose lpoptions names the given queue, and
// neither variable: the tests start from the same default on every machine, and what they
// change is their own file, never the user's or the machine's default.
// Made before anything in the process asks CUPS, which reads HOME once.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace vrx::test {

class OwnDefaultPrinter {
public:
    explicit OwnDefaultPrinter(const QByteArray& printer)
        : m_savedHome(qgetenv("HOME")), m_savedLpdest(qgetenv("LPDEST")), m_savedPrinter(qgetenv("PRINTER"))
    {
        QDir(m_home.path()).mkpath(QStringLiteral(".cups"));
        QFile lpoptions(m_home.filePath(QStringLiteral(".cups/lpoptions")));
        if (lpoptions.open(QIODevice::WriteOnly))
            lpoptions.write("Default " + printer + '\n');
        qputenv("HOME", QFile::encodeName(m_home.path()));
        qunsetenv("LPDEST");
        qunsetenv("PRINTER");
    }
    ~OwnDefaultPrinter()
    {
        restore("HOME", m_savedHome);
        restore("LPDEST", m_savedLpdest);
        restore("PRINTER", m_savedPrinter);
    }
    OwnDefaultPrinter(const OwnDefaultPrinter&) = delete;
    OwnDefaultPrinter& operator=(const OwnDefaultPrinter&) = delete;

private:
    static void restore(const char* name, const QByteArray& value)
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }

    QByteArray m_savedHome, m_savedLpdest, m_savedPrinter;
    QTemporaryDir m_home;
};

} // namespace vrx::test
