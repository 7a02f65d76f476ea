// Makes the empty database the program is installed with; with --if-missing an existing
// one is brought up to date instead (the tables of later additions; no row is touched).
//   zvmkdb [--if-missing] <schema.sql> <zvData.zvb>
#include "store/ZvDb.h"
#include "store/ZvDbCreate.h"
#include "store/ZvError.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
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
    const bool exists = QFile::exists(args[1]);
    if (exists && !ifMissing) {
        std::fprintf(stderr, "%s already exists\n", qPrintable(args[1]));
        return 1;
    }
    QFile schema(args[0]);
    if (!schema.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(args[0]));
        return 1;
    }
    try {
        const QString schemaSql = QString::fromUtf8(schema.readAll());
        const QString folder = QFileInfo(args[1]).absolutePath() + QLatin1Char('/');
        zv::TADOConnection connection;
        connection.setConnectionString(zv::TADOConnection::BuildConnectionString(folder));
        if (exists) {
            // The connection string names the program folder's zvData.zvb: this file by
            // another name is opened as itself.
            connection.setConnectionString(connection.connectionString().replace(
                connection.dataSource(), QFileInfo(args[1]).absoluteFilePath()));
            connection.Open();
            zv::ApplySchemaAdditions(connection, schemaSql);
            connection.Close();
            return 0;
        }
        zv::CreateDatabaseFile(args[1], schemaSql, connection.password());
    } catch (const zv::EZvError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    return 0;
}
