// Makes the empty database the program is installed with.
//   zvmkdb [--if-missing] <schema.sql> <zvData.zvb>
#include "store/ZvDb.h"
#include "store/ZvDbCreate.h"
#include "store/ZvError.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool ifMissing = args.removeAll(QStringLiteral("--if-missing")) > 0;
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: zvmkdb [--if-missing] <schema.sql> <database>\n");
        return 2;
    }
    if (QFile::exists(args[1])) {
        if (ifMissing) return 0;
        std::fprintf(stderr, "%s already exists\n", qPrintable(args[1]));
        return 1;
    }
    QFile schema(args[0]);
    if (!schema.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(args[0]));
        return 1;
    }
    try {
        const QString cs = zv::TADOConnection::BuildConnectionString(QString());
        zv::TADOConnection probe;
        probe.setConnectionString(cs);
        zv::CreateDatabaseFile(args[1], QString::fromUtf8(schema.readAll()), probe.password());
    } catch (const zv::EZvError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    return 0;
}
