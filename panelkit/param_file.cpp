#include "panelkit/param_file.h"

#include "panelkit/local_file.h"
#include "panelkit/local_file_error.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

namespace kq::gui {

const char* const param_file::format_name = "kq-module-parameters";

namespace {

[[noreturn]] void refuse(const QString& why)
{
    // A NUL from the file would end the message where it stands.
    throw param_file_error(QString(why).replace(QChar(0), QLatin1String("\\u0000")).toStdString());
}

// The first key that an object of the (well-formed) JSON text holds twice,
// as written; empty when none does. The parser would keep the last one
// silently, so a file edited by hand could hold two values for one name.
QString repeated_key(const QByteArray& json)
{
    struct level_t
    {
        bool object;
        bool expect_key;
        QSet<QByteArray> keys;
    };
    QVector<level_t> levels;
    for (int i = 0; i < json.size(); ++i) {
        const char c = json.at(i);
        if (c == '{' || c == '[') {
            levels.append({c == '{', c == '{', {}});
        } else if ((c == '}' || c == ']') && !levels.isEmpty()) {
            levels.removeLast();
        } else if (c == ',' && !levels.isEmpty()) {
            levels.last().expect_key = levels.last().object;
        } else if (c == ':' && !levels.isEmpty()) {
            levels.last().expect_key = false;
        } else if (c == '"') {
            const int start = ++i;
            for (; i < json.size() && json.at(i) != '"'; ++i)
                i += json.at(i) == '\\' ? 1 : 0;
            if (levels.isEmpty() || !levels.last().expect_key)
                continue;
            const QByteArray key = json.mid(start, i - start);
            if (levels.last().keys.contains(key))
                return QString::fromUtf8(key);
            levels.last().keys.insert(key);
        }
    }
    return {};
}

QString text_of(const QJsonObject& o, const QString& key)
{
    const QJsonValue v = o.value(key);
    if (!v.isUndefined() && !v.isString())
        refuse(QStringLiteral("\"%1\": a text is expected").arg(key));
    return v.toString();
}

} // namespace

QVector<param_difference>
diff_params(const QStringList& writable, const QJsonObject& here, const QJsonObject& there,
            const std::function<QJsonValue(const QString&, const QJsonValue&)>& canonical)
{
    QVector<param_difference> out;
    for (const QString& name : writable) {
        if (!there.contains(name))
            continue; // a file written by hand names only what it sets
        const QJsonValue a = here.contains(name) ? canonical(name, here.value(name))
                                                 : QJsonValue(QJsonValue::Undefined);
        const QJsonValue b = canonical(name, there.value(name));
        if (a != b)
            out.append({name, a, b});
    }
    return out;
}

QString param_file::tool_name()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName() + QLatin1Char(' ') +
           QLatin1String(KQ_VERSION);
}

QByteArray param_file::to_json(const param_snapshot& s)
{
    QJsonObject o{{QStringLiteral("format"), QLatin1String(format_name)},
                  {QStringLiteral("format_version"), format_version},
                  {QStringLiteral("module"), s.module},
                  {QStringLiteral("address"), s.address},
                  {QStringLiteral("route"), QJsonArray::fromStringList(s.route)},
                  {QStringLiteral("firmware"), s.firmware},
                  {QStringLiteral("status"), s.status},
                  {QStringLiteral("tool"), s.tool},
                  {QStringLiteral("time"), s.time.toUTC().toString(Qt::ISODate)},
                  {QStringLiteral("parameters"), s.parameters}};
    if (!s.reason.isEmpty())
        o.insert(QStringLiteral("reason"), s.reason);
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

param_snapshot param_file::from_json(const QByteArray& data, const QString& module,
                                     const value_check& check)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError)
        refuse(QStringLiteral("not a configuration file: %1 at byte %2")
                   .arg(error.errorString())
                   .arg(error.offset));
    if (!doc.isObject())
        refuse(QStringLiteral("not a configuration file: a JSON %1, not an object of keys")
                   .arg(doc.isArray() ? QStringLiteral("array") : QStringLiteral("value")));
    const QString twice = repeated_key(data);
    if (!twice.isEmpty())
        refuse(QStringLiteral("\"%1\": the key is given twice; keep one").arg(twice));
    const QJsonObject o = doc.object();
    static const QSet<QString> keys{
        QStringLiteral("format"),  QStringLiteral("format_version"), QStringLiteral("module"),
        QStringLiteral("address"), QStringLiteral("route"),          QStringLiteral("firmware"),
        QStringLiteral("status"),  QStringLiteral("tool"),           QStringLiteral("time"),
        QStringLiteral("reason"),  QStringLiteral("parameters")};
    for (auto it = o.begin(); it != o.end(); ++it) {
        if (!keys.contains(it.key()))
            refuse(QStringLiteral("\"%1\": unknown key").arg(it.key()));
    }
    if (o.value(QStringLiteral("format")).toString() != QLatin1String(format_name))
        refuse(QStringLiteral("\"format\": not \"%1\"").arg(QLatin1String(format_name)));
    const QJsonValue version = o.value(QStringLiteral("format_version"));
    if (!version.isDouble() || version.toDouble() != double(version.toInt()) || version.toInt() < 1)
        refuse(QStringLiteral("\"format_version\": a whole number from 1 is expected"));
    if (version.toInt() > format_version)
        refuse(QStringLiteral("\"format_version\": %1 is newer than this tool reads (%2)")
                   .arg(version.toInt())
                   .arg(format_version));

    param_snapshot s;
    s.module = text_of(o, QStringLiteral("module"));
    if (s.module != module)
        refuse(
            QStringLiteral("\"module\": the file is for \"%1\", not \"%2\"").arg(s.module, module));
    s.address = text_of(o, QStringLiteral("address"));
    s.firmware = text_of(o, QStringLiteral("firmware"));
    s.tool = text_of(o, QStringLiteral("tool"));
    s.reason = text_of(o, QStringLiteral("reason"));
    const QString time = text_of(o, QStringLiteral("time"));
    s.time = QDateTime::fromString(time, Qt::ISODate);
    if (!time.isEmpty() && !s.time.isValid())
        refuse(QStringLiteral("\"time\": not a date and time: %1").arg(time));
    for (const QJsonValue hop : o.value(QStringLiteral("route")).toArray())
        s.route << hop.toString();
    s.status = o.value(QStringLiteral("status")).toObject();
    const QJsonValue parameters = o.value(QStringLiteral("parameters"));
    if (!parameters.isObject())
        refuse(QStringLiteral("\"parameters\": an object of values is expected"));
    s.parameters = parameters.toObject();
    for (auto it = s.parameters.begin(); it != s.parameters.end(); ++it) {
        if (it.value().toString().contains(QChar(0)))
            refuse(QStringLiteral("\"parameters\": \"%1\": a NUL character in \"%2\"")
                       .arg(it.key(), it.value().toString()));
        const QString why = check(it.key(), it.value());
        if (!why.isEmpty())
            refuse(QStringLiteral("\"parameters\": \"%1\": %2").arg(it.key(), why));
    }
    return s;
}

void param_file::save(const param_snapshot& snapshot, const QString& path)
{
    try {
        local_file::write_whole(path, to_json(snapshot));
    } catch (const local_file_error& e) {
        refuse(QString::fromStdString(e.what()));
    }
}

param_snapshot param_file::load(const QString& path, const QString& module,
                                const value_check& check)
{
    // A configuration is small; anything large is not one. Only a regular
    // file is opened: a FIFO would block the open for ever.
    constexpr qint64 largest = 1 << 20;
    QByteArray data;
    try {
        data = local_file::read_whole(path, largest);
    } catch (const local_file_error& e) {
        refuse(QString::fromStdString(e.what()));
    }
    try {
        return from_json(data, module, check);
    } catch (const param_file_error& e) {
        refuse(path + QStringLiteral(": ") + QString::fromStdString(e.what()));
    }
}

} // namespace kq::gui
