#include "app/conversation_print.h"

#include "protocol/hex_byte.h"
#include "protocol/message_text.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <ostream>

namespace ostrel {
namespace {

    constexpr std::size_t kShownBytes = 16;
    constexpr qint64 kMostJsonBytes = 64LL << 20;

    bool ReadWhole(const std::string& name, qint64 most, QByteArray& bytes, std::string& why)
    {
        QFile file(QString::fromLocal8Bit(name.c_str()));
        if (!file.open(QIODevice::ReadOnly)) {
            why = file.errorString().toStdString();
            return false;
        }
        bytes = file.read(most);
        return true;
    }

    std::string Shown(const QByteArray& stream, qint64 offset, qint64 size)
    {
        if (offset < 0 || offset >= stream.size())
            return "(not kept)";
        const qint64 count
            = std::min<qint64>({ size, static_cast<qint64>(kShownBytes), stream.size() - offset });
        std::string text = HexBytes(
            std::string_view(stream.constData() + offset, static_cast<std::size_t>(count)));
        return size > count ? text + " ..." : text;
    }

} // namespace

std::string ForwardRecordBeside(const std::string& jobFile)
{
    if (!jobFile.ends_with(".bin") || jobFile.ends_with(".replies.bin"))
        return {};
    QByteArray json;
    std::string why;
    if (!ReadWhole(jobFile.substr(0, jobFile.size() - 4) + ".json", kMostJsonBytes, json, why))
        return {};
    const QJsonObject forward
        = QJsonDocument::fromJson(json).object().value(QStringLiteral("forward")).toObject();
    if (forward.isEmpty())
        return {};
    return QJsonDocument(forward).toJson(QJsonDocument::Compact).toStdString();
}

int PrintConversation(const std::string& jsonFile, std::ostream& out, std::ostream& err)
{
    const std::string named = QuotedForMessage(jsonFile);
    QByteArray json, program, printer;
    std::string why;
    if (!ReadWhole(jsonFile, kMostJsonBytes, json, why)) {
        err << "ostrel-replay: " << named << ": " << why << "\n";
        return 1;
    }
    const QJsonObject forward
        = QJsonDocument::fromJson(json).object().value(QStringLiteral("forward")).toObject();
    if (forward.isEmpty()) {
        err << "ostrel-replay: " << named << ": no forwarded job's record (no \"forward\" in it)\n";
        return 1;
    }
    // The job's bytes and the printer's sit beside the record.
    const std::string base = jsonFile.size() > 5 && jsonFile.ends_with(".json")
        ? jsonFile.substr(0, jsonFile.size() - 5)
        : jsonFile;
    ReadWhole(base + ".bin", kMostJsonBytes, program, why);
    ReadWhole(base + ".replies.bin", kMostJsonBytes, printer, why);

    out << "printer " << forward.value(QStringLiteral("target")).toString().toStdString() << "\n";
    char line[160];
    for (const QJsonValue& value : forward.value(QStringLiteral("timeline")).toArray()) {
        const QJsonArray chunk = value.toArray();
        const bool fromProgram = chunk.at(0).toString() == QStringLiteral(">");
        const qint64 at = chunk.at(1).toInteger(), offset = chunk.at(2).toInteger(),
                     size = chunk.at(3).toInteger();
        std::snprintf(line, sizeof line,
            "%12.6f s  %s %8lld bytes at %lld: ", static_cast<double>(at) / 1e6,
            fromProgram ? "program >" : "printer <", static_cast<long long>(size),
            static_cast<long long>(offset));
        out << line << Shown(fromProgram ? program : printer, offset, size) << "\n";
    }
    for (const QJsonValue& value : forward.value(QStringLiteral("exchanges")).toArray()) {
        const QJsonObject exchange = value.toObject();
        out << exchange.value(QStringLiteral("request")).toString().toStdString() << " at "
            << static_cast<double>(exchange.value(QStringLiteral("at_us")).toInteger()) / 1e6
            << " s: ";
        if (exchange.value(QStringLiteral("answer")).isNull()) {
            out << "no answer\n";
            continue;
        }
        const QString means = exchange.value(QStringLiteral("means")).toString();
        out << exchange.value(QStringLiteral("answer")).toString().toStdString() << " after "
            << static_cast<double>(exchange.value(QStringLiteral("after_us")).toInteger()) / 1000.0
            << " ms"
            << (means.isEmpty() ? std::string(", nothing wrong") : ", " + means.toStdString())
            << "\n";
    }
    if (forward.value(QStringLiteral("sent_not_confirmed")).toInteger() > 0)
        out << forward.value(QStringLiteral("sent_not_confirmed")).toInteger()
            << " bytes sent, not confirmed as read: "
            << forward.value(QStringLiteral("not_confirmed_why")).toString().toStdString() << "\n";
    if (forward.contains(QStringLiteral("error")))
        out << "failed at "
            << static_cast<double>(forward.value(QStringLiteral("error_at_us")).toInteger()) / 1e6
            << " s: " << forward.value(QStringLiteral("error")).toString().toStdString() << "; "
            << forward.value(QStringLiteral("not_delivered")).toInteger()
            << " bytes not delivered\n";
    return out ? 0 : 1;
}

} // namespace ostrel
