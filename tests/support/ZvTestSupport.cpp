#include "ZvTestSupport.h"

#include "platform/ZvFileDialog.h"
#include "store/ZvDbCreate.h"
#include "store/ZvError.h"
#include "store/ZvSeams.h"
#include "store/pU_Funcs.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <csignal>
#include <sqlite3.h>
#include <sys/resource.h>

namespace zvtest {

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

TFileSizeLimit::TFileSizeLimit(qint64 bytes)
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    m_old = qint64(limit.rlim_cur);
    limit.rlim_cur = rlim_t(bytes);
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) qFatal("cannot limit the file size");
}

TFileSizeLimit::~TFileSizeLimit()
{
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = rlim_t(m_old);
    setrlimit(RLIMIT_FSIZE, &limit);
}

void MakeDatabase(const QString& path)
{
    QFile schema(QStringLiteral(ZVJ_SCHEMA_FILE));
    if (!schema.open(QIODevice::ReadOnly)) qFatal("cannot read schema %s", ZVJ_SCHEMA_FILE);
    zv::TADOConnection probe;
    probe.setConnectionString(zv::TADOConnection::BuildConnectionString(QString()));
    zv::CreateDatabaseFile(path, QString::fromUtf8(schema.readAll()), probe.password());
}

namespace {
// A test that reaches a box or a dialog without answering it has lost track of what the
// program does: it fails, naming what was asked. Outside a test function (a benchmark)
// there is nothing to fail, so the question is only reported.
void unanswered(const QString& what)
{
    if (QTest::currentTestFunction())
        QTest::qFail(qPrintable(what), __FILE__, __LINE__);
    else
        qWarning("%s", qPrintable(what));
}
} // namespace

void ResetSeams()
{
    zv::TZvSeamBase::resetAll();
    zv::MessageSeam::seam().setFallback([](const zv::MessageRequest& r) {
        unanswered(QStringLiteral("Unanswered message box \"%1\": %2").arg(r.caption, r.text));
        return zv::ClosedBoxAnswer(r.buttons);
    });
    zv::FileDialogSeam::seam().setFallback([](const zv::FileDialogRequest& r) {
        unanswered(
            QStringLiteral("Unanswered file dialog \"%1\" (%2)")
                .arg(r.caption, r.filters.isEmpty() ? r.filter : r.filters.join(QStringLiteral(";;"))));
        return zv::FileDialogResult{};
    });
}

TempProgramFolder::TempProgramFolder(bool withDatabase)
{
    if (withDatabase) {
        MakeDatabase(dbPath());
        QDir(path()).mkdir(QStringLiteral("Temp"));
    }
    qputenv("ZVJ_HOME", path().toUtf8());
    // A transaction left open where control returns to the event loop fails the test.
    zv::SetDurabilityChecks(true);
    zv::WatchDurabilityAtIdle();
    ResetSeams();
}

TempProgramFolder::~TempProgramFolder() = default;

QString TempProgramFolder::path() const
{
    return m_dir.path() + QLatin1Char('/');
}

QString TempProgramFolder::dbPath() const
{
    return path() + QStringLiteral("zvData.zvb");
}

QString TempProgramFolder::iniPath() const
{
    return path() + QStringLiteral("zvConf.ini");
}

QString TempProgramFolder::connectionString() const
{
    return zv::TADOConnection::BuildConnectionString(path());
}

zv::TADOConnection& TempProgramFolder::connection()
{
    if (!m_connection) {
        m_connection = std::make_unique<zv::TADOConnection>();
        m_connection->setConnectionString(connectionString());
        m_connection->Open();
    }
    return *m_connection;
}

namespace {
struct RawDb
{
    sqlite3* db = nullptr;
    explicit RawDb(const QString& path)
    {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) !=
            SQLITE_OK)
            qFatal("cannot open %s", qPrintable(path));
        sqlite3_busy_timeout(db, 3000);
    }
    ~RawDb() { sqlite3_close(db); }
};
} // namespace

QList<QVariantList> TempProgramFolder::rows(const QString& sql) const
{
    RawDb raw(dbPath());
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(raw.db, sql.toUtf8().constData(), -1, &s, nullptr) != SQLITE_OK)
        qFatal("bad test SQL %s: %s", qPrintable(sql), sqlite3_errmsg(raw.db));
    QList<QVariantList> out;
    while (sqlite3_step(s) == SQLITE_ROW) {
        QVariantList row;
        for (int c = 0; c < sqlite3_column_count(s); ++c) {
            switch (sqlite3_column_type(s, c)) {
            case SQLITE_INTEGER:
                row << QVariant(qlonglong(sqlite3_column_int64(s, c)));
                break;
            case SQLITE_FLOAT:
                row << QVariant(sqlite3_column_double(s, c));
                break;
            case SQLITE_TEXT:
                row << QVariant(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, c))));
                break;
            default:
                row << QVariant();
            }
        }
        out << row;
    }
    sqlite3_finalize(s);
    return out;
}

QString TempProgramFolder::dump(const QString& only) const
{
    QStringList out;
    for (const QVariantList& table :
         rows(QStringLiteral("select name, sql from sqlite_master where type='table' order by name"))) {
        const QString name = table.at(0).toString();
        if (!only.isEmpty() && name != only) continue;
        out << table.at(1).toString();
        QStringList quoted;
        for (const QVariantList& column :
             rows(QStringLiteral("select name from pragma_table_info('%1')").arg(name)))
            quoted << QStringLiteral("quote(%1)").arg(column.at(0).toString());
        for (const QVariantList& row : rows(QStringLiteral("select rowid||' '||%1 from %2 order by rowid")
                                                .arg(quoted.join(QStringLiteral("||'|'||")), name)))
            out << row.at(0).toString();
    }
    return out.join(QLatin1Char('\n'));
}

QVariant TempProgramFolder::scalar(const QString& sql) const
{
    const QList<QVariantList> r = rows(sql);
    return r.isEmpty() || r.first().isEmpty() ? QVariant() : r.first().first();
}

void TempProgramFolder::exec(const QString& sql) const
{
    RawDb raw(dbPath());
    char* err = nullptr;
    if (sqlite3_exec(raw.db, sql.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK)
        qFatal("bad test SQL %s: %s", qPrintable(sql), err);
}

void OnNextModal(std::function<void(QWidget*)> action, int timeoutMs)
{
    auto* timer = new QTimer;
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, started, action, timeoutMs]() {
        if (QWidget* w = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            action(w);
        } else if (started->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

QString raiseText(const std::function<void()>& work)
{
    try {
        work();
    } catch (const zv::EZvError& e) {
        return e.message();
    }
    return QStringLiteral("<no error>");
}

void appendRow(zv::TADOQuery& q, const QString& table, const QStringList& values)
{
    zv::OpenQuery(q, "select * from " + table + " where 1=0");
    q.Append();
    for (qsizetype i = 0; i + 1 < values.size(); i += 2)
        q.FieldByName(values[i]).setAsString(values[i + 1]);
    q.Post();
}

} // namespace zvtest
