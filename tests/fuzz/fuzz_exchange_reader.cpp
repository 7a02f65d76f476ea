// Feeds arbitrary bytes to the exchange file reader: the container, the XML parser and the
// reading walk over items and attributes with their value conversions (without a database).
#include "ZvError.h"
#include "ZvSeams.h"
#include "pU_Funcs.h"
#include "pU_XmlTry.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

namespace {

void walk(zv::Txmltry& xml)
{
    (void)xml.ReadAttr(QStringLiteral("zorvik"), QStringLiteral("app"));
    struct Kind
    {
        const char* container;
        const char* item;
        const char* const* attrs;
    };
    static const char* const memoAttrs[] = {"mid",         "pid",       "content", "assign-time",
                                            "create-time", "edit-time", nullptr};
    static const char* const taskAttrs[] = {"tid",         "pid",       "content",    "check-flag",
                                            "alarm-flag",  "due-flag",  "text-color", "background-color",
                                            "create-time", "edit-time", "check-time", "alarm-time",
                                            "due-time",    nullptr};
    for (const Kind& kind : {Kind{"zorvik,memos", "zorvik,memos,memo#", memoAttrs},
                             Kind{"zorvik,tasks", "zorvik,tasks,task#", taskAttrs}}) {
        const int n = std::min(xml.ChildCount(QString::fromLatin1(kind.container)), 2000);
        for (int i = 0; i < n; ++i) {
            const QString path = QString::fromLatin1(kind.item) + QString::number(i);
            for (const char* const* a = kind.attrs; *a; ++a) {
                const QString value = xml.ReadAttr(path, QString::fromLatin1(*a));
                if (QByteArray(*a).endsWith("-time")) {
                    try {
                        (void)zv::ParseIsoDateTime(value);
                    } catch (const zv::EZvError&) {
                    }
                }
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const bool compressed : {true, false}) {
        zv::MessageSeam::reset(); // missing-attribute boxes are only recorded
        zv::Txmltry xml;
        try {
            xml.LoadFromBytes(bytes, compressed);
            walk(xml);
            (void)xml.XmlText();
        } catch (const zv::EZvError&) {
        }
    }
    return 0;
}
