// The default printer on systems printing through CUPS.

#include "print/SystemDefaultPrinter.h"

#include <cups/cups.h>

namespace vrx {

namespace {

// The user's list of destinations, freed with the object.
class Destinations {
public:
    Destinations() { m_count = cupsGetDests2(CUPS_HTTP_DEFAULT, &m_dests); }
    ~Destinations() { cupsFreeDests(m_count, m_dests); }
    Destinations(const Destinations&) = delete;
    Destinations& operator=(const Destinations&) = delete;

    cups_dest_t* find(const QByteArray& name, const QByteArray& instance)
    {
        return cupsGetDest(name.constData(), instance.isEmpty() ? nullptr : instance.constData(), m_count, m_dests);
    }
    cups_dest_t* defaultDestination() { return cupsGetDest(nullptr, nullptr, m_count, m_dests); }

    int count() const { return m_count; }
    cups_dest_t* list() { return m_dests; }

private:
    int m_count = 0;
    cups_dest_t* m_dests = nullptr;
};

} // namespace

QString cupsDefaultPrinterName()
{
    Destinations dests;
    const cups_dest_t* dest = dests.defaultDestination();
    if (dest == nullptr)
        return {};
    QString name = QString::fromUtf8(dest->name);
    if (dest->instance != nullptr)
        name += QLatin1Char('/') + QString::fromUtf8(dest->instance);
    return name;
}

bool cupsSelectDefaultPrinter(const QString& name)
{
    // "printer/instance" names an instance, as lpoptions -d takes it.
    const QByteArray utf8 = name.toUtf8();
    const qsizetype slash = utf8.indexOf('/');
    const QByteArray printer = slash < 0 ? utf8 : utf8.left(slash);
    const QByteArray instance = slash < 0 ? QByteArray() : utf8.mid(slash + 1);
    if (printer.isEmpty())
        return false;

    Destinations dests;
    cups_dest_t* chosen = dests.find(printer, instance);
    if (chosen == nullptr)
        return false;
    for (int i = 0; i < dests.count(); ++i)
        dests.list()[i].is_default = 0;
    chosen->is_default = 1;
    return cupsSetDests2(CUPS_HTTP_DEFAULT, dests.count(), dests.list()) == 0;
}

} // namespace vrx
