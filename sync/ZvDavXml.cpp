#include "sync/ZvDavXml.h"

#include "store/ZvError.h"
#include "sync/ZvSyncText.h"

#include <QCoreApplication>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace zv {

namespace {

const QString kDav = QStringLiteral("DAV:");
const QString kCalDav = QStringLiteral("urn:ietf:params:xml:ns:caldav");

class TReader
{
public:
    explicit TReader(const QByteArray& body) : m_x(body) {}

    [[noreturn]] void fail(const QString& why) const
    {
        throw EZvError(
            SyncText("The server's answer cannot be read: %1 (line %2)").arg(why).arg(m_x.lineNumber()));
    }

    bool is(const QString& ns, QLatin1StringView name) const
    {
        return m_x.namespaceUri() == ns && m_x.name() == name;
    }

    // Raises for what no answer of ours holds, or where the text ends or breaks; comments,
    // processing instructions and blanks pass.
    void refuseOddToken() const
    {
        switch (m_x.tokenType()) {
        case QXmlStreamReader::DTD:
            fail(SyncText("it has a document type"));
        case QXmlStreamReader::EntityReference:
            fail(SyncText("it refers to an entity"));
        case QXmlStreamReader::Invalid:
            fail(m_x.errorString());
        case QXmlStreamReader::EndDocument:
            fail(SyncText("it ends early"));
        default:
            break;
        }
    }

    // The next start of a child element of the current one; false at its end.
    bool nextChild()
    {
        for (;;) {
            switch (m_x.readNext()) {
            case QXmlStreamReader::StartElement:
                if (++m_depth > TZvDavLimits::kDepth) fail(SyncText("the elements are nested too deeply"));
                return true;
            case QXmlStreamReader::EndElement:
                --m_depth;
                return false;
            default:
                refuseOddToken();
            }
        }
    }

    // Past the end of the current element, whatever it holds.
    void skip()
    {
        while (nextChild())
            skip();
    }

    // The text of the current element (the text of any child elements left out). Over
    // `limit` bytes of UTF-8 it fails, or with `overflow` the rest is read and dropped.
    QString text(qsizetype limit, bool* overflow = nullptr)
    {
        QString out;
        bool over = false;
        for (;;) {
            switch (m_x.readNext()) {
            case QXmlStreamReader::Characters:
                if (over) break;
                // Characters never outnumber the bytes of their UTF-8.
                out += m_x.text();
                over = out.size() > limit;
                break;
            case QXmlStreamReader::StartElement:
                if (++m_depth > TZvDavLimits::kDepth) fail(SyncText("the elements are nested too deeply"));
                skip();
                break;
            case QXmlStreamReader::EndElement:
                --m_depth;
                over = over || out.toUtf8().size() > limit;
                if (over) {
                    if (!overflow) fail(SyncText("a value is too long"));
                    *overflow = true;
                    return QString();
                }
                return out;
            default:
                refuseOddToken();
            }
        }
    }

    QString shortText() { return text(TZvDavLimits::kTextBytes).trimmed(); }

    // The first DAV:href inside the current element.
    QString href()
    {
        QString found;
        while (nextChild()) {
            if (found.isEmpty() && is(kDav, QLatin1StringView("href")))
                found = shortText();
            else
                skip();
        }
        return found;
    }

    // The root element: DAV:multistatus, after nothing but a declaration and comments.
    void root()
    {
        for (;;) {
            switch (m_x.readNext()) {
            case QXmlStreamReader::StartElement:
                m_depth = 1;
                if (!is(kDav, QLatin1StringView("multistatus"))) fail(SyncText("it is no multistatus"));
                return;
            case QXmlStreamReader::DTD:
                fail(SyncText("it has a document type"));
            case QXmlStreamReader::Invalid:
                fail(m_x.errorString());
            case QXmlStreamReader::EndDocument:
                fail(SyncText("it is empty"));
            default:
                break;
            }
        }
    }

    void props(TZvDavProps& p)
    {
        while (nextChild()) {
            if (is(kDav, QLatin1StringView("getetag"))) {
                p.etag = shortText();
            } else if (is(kDav, QLatin1StringView("displayname"))) {
                p.displayName = shortText();
            } else if (is(kDav, QLatin1StringView("resourcetype"))) {
                while (nextChild()) {
                    if (is(kDav, QLatin1StringView("collection"))) p.collection = true;
                    if (is(kCalDav, QLatin1StringView("calendar"))) p.calendar = true;
                    skip();
                }
            } else if (is(kCalDav, QLatin1StringView("supported-calendar-component-set"))) {
                QStringList kinds;
                while (nextChild()) {
                    if (is(kCalDav, QLatin1StringView("comp")) && kinds.size() < 64)
                        kinds << m_x.attributes()
                                     .value(QLatin1StringView("name"))
                                     .toString()
                                     .trimmed()
                                     .toUpper();
                    skip();
                }
                p.components = kinds;
            } else if (is(kDav, QLatin1StringView("current-user-principal"))) {
                p.principal = href();
            } else if (is(kCalDav, QLatin1StringView("calendar-home-set"))) {
                p.calendarHome = href();
            } else if (is(kDav, QLatin1StringView("sync-token"))) {
                p.syncToken = shortText();
            } else if (is(kDav, QLatin1StringView("supported-report-set"))) {
                // supported-report > report > the report's element
                while (nextChild()) {
                    while (nextChild()) {
                        while (nextChild()) {
                            if (is(kDav, QLatin1StringView("sync-collection"))) p.syncCollection = true;
                            skip();
                        }
                    }
                }
            } else if (is(kCalDav, QLatin1StringView("calendar-data"))) {
                p.calendarData = text(TZvDavLimits::kItemBytes, &p.oversized).toUtf8();
                p.hasCalendarData = !p.oversized;
            } else {
                skip();
            }
        }
    }

    TZvDavResponse response()
    {
        TZvDavResponse r;
        while (nextChild()) {
            if (is(kDav, QLatin1StringView("href")) && r.href.isEmpty()) {
                r.href = shortText();
            } else if (is(kDav, QLatin1StringView("status"))) {
                r.status = StatusOfLine(shortText());
            } else if (is(kDav, QLatin1StringView("propstat"))) {
                TZvDavProps found;
                int status = 0;
                while (nextChild()) {
                    if (is(kDav, QLatin1StringView("prop")))
                        props(found);
                    else if (is(kDav, QLatin1StringView("status")))
                        status = StatusOfLine(shortText());
                    else
                        skip();
                }
                if (status >= 200 && status < 300) merge(r.props, found);
            } else {
                skip();
            }
        }
        return r;
    }

    TZvMultistatus multistatus()
    {
        TZvMultistatus m;
        root();
        while (nextChild()) {
            if (is(kDav, QLatin1StringView("response"))) {
                if (m.responses.size() >= size_t(TZvDavLimits::kResponses))
                    fail(SyncText("it holds too many responses"));
                m.responses.push_back(response());
            } else if (is(kDav, QLatin1StringView("sync-token"))) {
                m.syncToken = shortText();
            } else {
                skip();
            }
        }
        return m;
    }

private:
    static void merge(TZvDavProps& into, TZvDavProps& from)
    {
        const auto take = [](QString& a, QString& b) {
            if (a.isEmpty()) a = std::move(b);
        };
        take(into.etag, from.etag);
        take(into.displayName, from.displayName);
        take(into.principal, from.principal);
        take(into.calendarHome, from.calendarHome);
        take(into.syncToken, from.syncToken);
        into.collection = into.collection || from.collection;
        into.calendar = into.calendar || from.calendar;
        into.syncCollection = into.syncCollection || from.syncCollection;
        into.oversized = into.oversized || from.oversized;
        if (!into.components) into.components = std::move(from.components);
        if (!into.hasCalendarData && from.hasCalendarData) {
            into.calendarData = std::move(from.calendarData);
            into.hasCalendarData = true;
        }
    }

    QXmlStreamReader m_x;
    int m_depth = 0;
};

// A body: the declaration, then what `write` puts in, with the two namespaces declared.
template <class F> QByteArray document(F&& write)
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.writeStartDocument();
    w.writeNamespace(kDav, QStringLiteral("d"));
    w.writeNamespace(kCalDav, QStringLiteral("c"));
    write(w);
    w.writeEndDocument();
    return out;
}

void propList(QXmlStreamWriter& w, const std::vector<std::pair<QString, const char*>>& names)
{
    w.writeStartElement(kDav, QStringLiteral("prop"));
    for (const auto& [ns, name] : names)
        w.writeEmptyElement(ns, QString::fromLatin1(name));
    w.writeEndElement();
}

} // namespace

int StatusOfLine(const QString& line)
{
    // "HTTP/1.1 404 Not Found"
    const QStringList parts = line.simplified().split(QLatin1Char(' '));
    if (parts.size() < 2 || !parts[0].startsWith(QLatin1String("HTTP/"), Qt::CaseInsensitive)) return 0;
    bool ok = false;
    const int code = parts[1].toInt(&ok);
    return ok && code >= 100 && code <= 999 ? code : 0;
}

TZvMultistatus ParseMultistatus(const QByteArray& body)
{
    if (body.size() > TZvDavLimits::kAnswerBytes)
        throw EZvError(SyncText("The server's answer is larger than 256 MB"));
    TReader reader(body);
    return reader.multistatus();
}

QByteArray PropfindDiscoveryBody()
{
    return document([](QXmlStreamWriter& w) {
        w.writeStartElement(kDav, QStringLiteral("propfind"));
        propList(w, {{kDav, "resourcetype"},
                     {kDav, "displayname"},
                     {kDav, "current-user-principal"},
                     {kCalDav, "calendar-home-set"},
                     {kCalDav, "supported-calendar-component-set"},
                     {kDav, "supported-report-set"},
                     {kDav, "sync-token"}});
        w.writeEndElement();
    });
}

QByteArray PropfindEtagsBody()
{
    return document([](QXmlStreamWriter& w) {
        w.writeStartElement(kDav, QStringLiteral("propfind"));
        propList(w, {{kDav, "resourcetype"}, {kDav, "getetag"}});
        w.writeEndElement();
    });
}

QByteArray SyncCollectionBody(const QString& token)
{
    return document([&](QXmlStreamWriter& w) {
        w.writeStartElement(kDav, QStringLiteral("sync-collection"));
        w.writeTextElement(kDav, QStringLiteral("sync-token"), token);
        w.writeTextElement(kDav, QStringLiteral("sync-level"), QStringLiteral("1"));
        propList(w, {{kDav, "getetag"}});
        w.writeEndElement();
    });
}

QByteArray MultigetBody(const QStringList& hrefs)
{
    return document([&](QXmlStreamWriter& w) {
        w.writeStartElement(kCalDav, QStringLiteral("calendar-multiget"));
        propList(w, {{kDav, "getetag"}, {kCalDav, "calendar-data"}});
        for (const QString& href : hrefs)
            w.writeTextElement(kDav, QStringLiteral("href"), href);
        w.writeEndElement();
    });
}

QByteArray MkcalendarBody(const QString& displayName, const QString& component)
{
    return document([&](QXmlStreamWriter& w) {
        w.writeStartElement(kCalDav, QStringLiteral("mkcalendar"));
        w.writeStartElement(kDav, QStringLiteral("set"));
        w.writeStartElement(kDav, QStringLiteral("prop"));
        w.writeTextElement(kDav, QStringLiteral("displayname"), displayName);
        w.writeStartElement(kCalDav, QStringLiteral("supported-calendar-component-set"));
        w.writeEmptyElement(kCalDav, QStringLiteral("comp"));
        w.writeAttribute(QStringLiteral("name"), component);
        w.writeEndElement();
        w.writeEndElement();
        w.writeEndElement();
        w.writeEndElement();
    });
}

} // namespace zv
