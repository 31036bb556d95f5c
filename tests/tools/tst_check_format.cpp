#include "test_environment.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

// The format check passes a repository whose C++ files are as clang-format
// writes them and fails, naming the file, when one tracked file is not.
class tst_check_format : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void verdicts_data();
    void verdicts();

private:
    static int run(const QString& program, const QStringList& args, const QString& folder,
                   QByteArray* err = nullptr);
};

int tst_check_format::run(const QString& program, const QStringList& args, const QString& folder,
                          QByteArray* err)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start(program, args);
    if (!p.waitForFinished(60000))
        return -1;
    if (err)
        *err = p.readAllStandardError();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

void tst_check_format::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("clang-format")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("git")).isEmpty())
        QFAIL("clang-format and git are needed (tools/install-deps.sh installs them)");
}

void tst_check_format::verdicts_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<bool>("tracked");
    QTest::addColumn<int>("code");
    QTest::newRow("formatted") << QByteArray("int main()\n{\n    return 0;\n}\n") << true << 0;
    QTest::newRow("mis-formatted") << QByteArray("int  main( ){return 0;}\n") << true << 1;
    QTest::newRow("mis-formatted, not tracked")
        << QByteArray("int  main( ){return 0;}\n") << false << 0;
}

void tst_check_format::verdicts()
{
    QFETCH(QByteArray, source);
    QFETCH(bool, tracked);
    QFETCH(int, code);
    const QTemporaryDir scratch;
    const QString dir = scratch.path();
    QCOMPARE(run("git", {"init", "-q"}, dir), 0);
    QVERIFY(QFile::copy(CLANG_FORMAT_FILE, dir + "/.clang-format"));
    QFile file(dir + "/probe.cpp");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(source);
    file.close();
    if (tracked)
        QCOMPARE(run("git", {"add", "probe.cpp"}, dir), 0);
    QByteArray err;
    QCOMPARE(run(CHECK_FORMAT_SCRIPT, {dir}, dir, &err), code);
    QCOMPARE(err.contains("not formatted: probe.cpp"), code == 1);
}

KQ_TEST_MAIN(tst_check_format)
#include "tst_check_format.moc"
