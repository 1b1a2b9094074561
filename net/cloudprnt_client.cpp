#include "net/cloudprnt_client.h"

#include "printer/star_status.h"
#include "protocol/message_text.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>

namespace ostrel {
namespace {

    // A poll's answer is a few lines of JSON; a server's ID and the actions it
    // asks for are as small.
    constexpr long long kMostPollAnswer = 64 << 10;
    constexpr long long kMostConfirmAnswer = 64 << 10;
    constexpr int kMostActions = 32;
    constexpr qsizetype kMostIdLength = 256;
    constexpr int kMostMediaTypes = 64;

    std::string Lower(std::string text)
    {
        std::transform(text.begin(), text.end(), text.begin(),
            [](unsigned char c) { return std::tolower(c); });
        return text;
    }

    // "text/plain; charset=utf-8" -> "text/plain".
    std::string BareType(std::string_view type)
    {
        type = type.substr(0, type.find(';'));
        while (!type.empty() && type.back() == ' ')
            type.remove_suffix(1);
        while (!type.empty() && type.front() == ' ')
            type.remove_prefix(1);
        return Lower(std::string(type));
    }

    std::string Percent(const std::string& text)
    {
        return QUrl::toPercentEncoding(QString::fromStdString(text)).toStdString();
    }

    std::string Shown(const QByteArray& bytes, std::size_t most = 80)
    {
        std::string text = bytes.left(static_cast<qsizetype>(most)).toStdString();
        return QuotedForMessage(text)
            + (static_cast<std::size_t>(bytes.size()) > most ? "..." : "");
    }

    constexpr const char* kStarPrnt = "application/vnd.star.starprnt";
    constexpr const char* kStarLine = "application/vnd.star.line";
    constexpr const char* kStarRaster = "application/vnd.star.raster";
    constexpr const char* kText = "text/plain";
    constexpr const char* kPng = "image/png";
    constexpr const char* kJpeg = "image/jpeg";

} // namespace

std::string CloudPrntStatusCode(const PrinterState& state)
{
    // Star's table: 2xx online (211 paper low), 41x paper, 42x cover; it
    // names no code for other errors, so they take the class's own, 400.
    if (state.coverOpen)
        return "420 Cover Open";
    if (state.paperOut)
        return "410 Out of Paper";
    if (state.isOffline())
        return "400 Printer Offline";
    if (state.paperNearEnd)
        return "211 Paper Low";
    return "200 OK";
}

std::string CloudPrntStatusBytes(const PrinterState& state)
{
    // As a network printer sends it, the network flag and length after the
    // nine bytes ("23 86 00 00 00 00 00 00 00 00 00" in Star's cputil guide).
    std::string text;
    for (const char byte : StarNetworkStatus(StarAutomaticStatus(state, 0, false))) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(byte));
        if (!text.empty())
            text += ' ';
        text += hex;
    }
    return text;
}

std::vector<std::string> CloudPrntMediaTypes(receipt::Language language, bool pictures)
{
    std::vector<std::string> types;
    // StarPRNT is Line mode and more: a StarPRNT printer takes both.
    if (language == receipt::Language::StarPrnt)
        types.push_back(kStarPrnt);
    // Both read Star's raster mode, which Star's raster drivers send.
    if (language == receipt::Language::StarPrnt || language == receipt::Language::StarLine) {
        types.push_back(kStarLine);
        types.push_back(kStarRaster);
    }
    types.push_back(kText);
    if (pictures) {
        types.push_back(kPng);
        types.push_back(kJpeg);
    }
    return types;
}

std::string ChooseCloudPrntMediaType(
    const std::vector<std::string>& offered, const std::vector<std::string>& ours)
{
    for (const std::string& type : ours)
        for (const std::string& one : offered)
            if (BareType(one) == type)
                return type;
    return {};
}

void ReadStarJobHeaders(const QByteArray& cut, const QByteArray& drawer, receipt::JobEnding& ending)
{
    for (const QByteArray& part : cut.split(';')) {
        const QByteArray word = part.trimmed().toLower();
        if (word == "full")
            ending.cut = receipt::JobEnding::Cut::Full;
        else if (word == "partial")
            ending.cut = receipt::JobEnding::Cut::Partial;
        else if (word == "none")
            ending.cut = receipt::JobEnding::Cut::None;
        else if (word == "feed=true")
            ending.feed = true;
        else if (word == "feed=false")
            ending.feed = false;
    }
    const QByteArray when = drawer.trimmed().toLower();
    if (when == "start")
        ending.drawer = receipt::JobEnding::Drawer::Start;
    else if (when == "end")
        ending.drawer = receipt::JobEnding::Drawer::End;
    else if (when == "none")
        ending.drawer = receipt::JobEnding::Drawer::None;
}

std::string StandInMacAddress(const std::string& printerName)
{
    std::uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (const unsigned char c : printerName)
        hash = (hash ^ c) * 1099511628211ull;
    char text[18];
    std::snprintf(text, sizeof text, "02:%02x:%02x:%02x:%02x:%02x",
        static_cast<unsigned>(hash & 0xff), static_cast<unsigned>((hash >> 8) & 0xff),
        static_cast<unsigned>((hash >> 16) & 0xff), static_cast<unsigned>((hash >> 24) & 0xff),
        static_cast<unsigned>((hash >> 32) & 0xff));
    return text;
}

CloudPrntClient::CloudPrntClient(Settings settings)
    : settings_(std::move(settings))
    , http_("cloudprnt " + UrlForMessage(settings_.url))
    , url_(QUrl(QString::fromStdString(settings_.url), QUrl::StrictMode))
    , mac_(StandInMacAddress(settings_.printerName))
{
    if (settings_.profile == nullptr)
        settings_.profile = &receipt::GenericProfile();
    http_.said = [this](const std::string& line) {
        if (said)
            said(line);
    };
    pollTimer_.setSingleShot(true);
    connect(&pollTimer_, &QTimer::timeout, this, &CloudPrntClient::poll);
    watch_.setInterval(250);
    connect(&watch_, &QTimer::timeout, this, [this] {
        if (!polling_ && state && CloudPrntStatusCode(state()) != statusSent_)
            poll();
        if (printedAt_ >= 0)
            waitForPaper();
    });
}

CloudPrntClient::~CloudPrntClient() { stop(); }

bool CloudPrntClient::start(std::string& error)
{
    const QString scheme = url_.scheme().toLower();
    if (!url_.isValid() || url_.host().isEmpty() || (scheme != "http" && scheme != "https")) {
        error = "--cloudprnt " + UrlForMessage(settings_.url) + ": not an http:// or https:// URL";
        return false;
    }
    if (!settings_.caFile.empty() && !http_.trustCaFile(settings_.caFile, error))
        return false;
    stopped_ = false;
    watch_.start();
    nextPoll(std::chrono::milliseconds(0));
    return true;
}

void CloudPrntClient::stop()
{
    stopped_ = true;
    pollTimer_.stop();
    watch_.stop();
    http_.abandon();
    polling_ = false;
    jobBusy_ = false;
    printedAt_ = -1;
}

void CloudPrntClient::nextPoll(std::chrono::milliseconds after)
{
    if (!stopped_)
        pollTimer_.start(after);
}

std::vector<std::string> CloudPrntClient::mediaTypes() const
{
    return CloudPrntMediaTypes(settings_.profile->language, static_cast<bool>(picture));
}

QNetworkRequest CloudPrntClient::request(const QUrl& url) const
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, "ostrel-capture CloudPRNT/1.0");
    return request;
}

QUrl CloudPrntClient::withQuery(const QUrl& base,
    const std::vector<std::pair<std::string, std::string>>& items, bool flag) const
{
    // Built by hand so that every value is percent-encoded ('+' and '&' in a
    // token too); a query the URL already has stays in front.
    std::string query = base.query(QUrl::FullyEncoded).toStdString();
    auto add = [&query](const std::string& item) {
        if (!query.empty())
            query += '&';
        query += item;
    };
    if (!uniqueId_.empty())
        add("uid=" + Percent(uniqueId_));
    for (const auto& [key, value] : items)
        add(key + "=" + Percent(value));
    if (flag)
        add("delete");
    QUrl url = base;
    url.setQuery(QString::fromStdString(query), QUrl::StrictMode);
    return url;
}

QByteArray CloudPrntClient::pollBody()
{
    const PrinterState now = state ? state() : PrinterState {};
    statusSent_ = CloudPrntStatusCode(now);
    QJsonObject body;
    body["status"] = QString::fromStdString(CloudPrntStatusBytes(now));
    body["printerMAC"] = QString::fromStdString(mac_);
    if (!uniqueId_.empty())
        body["uniqueID"] = QString::fromStdString(uniqueId_);
    // Status codes go URL-encoded, as they do in a confirmation's query.
    body["statusCode"] = QString::fromStdString(Percent(statusSent_));
    body["printingInProgress"] = jobBusy_;
    body["clientAction"] = actionResults_.isEmpty() ? QJsonValue() : QJsonValue(actionResults_);
    actionResults_ = QJsonArray();
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

void CloudPrntClient::poll()
{
    if (stopped_ || polling_)
        return;
    pollTimer_.stop();
    polling_ = true;
    QNetworkRequest post = request(url_);
    post.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    http_.send(post, "POST", pollBody(), kMostPollAnswer, settings_.pollTimeout,
        [this](const HttpPoller::Answer& answer) { polled(answer); });
}

void CloudPrntClient::polled(const HttpPoller::Answer& answer)
{
    polling_ = false;
    auto later = [this] { nextPoll(settings_.pollInterval); };
    if (!answer.failure.empty()) {
        http_.trouble("the poll failed: " + answer.failure);
        return later();
    }
    if (answer.status != 200) {
        http_.trouble("the server answers the poll with HTTP " + std::to_string(answer.status));
        return later();
    }
    QJsonParseError parsed;
    const QJsonDocument document = QJsonDocument::fromJson(answer.body, &parsed);
    if (parsed.error != QJsonParseError::NoError || !document.isObject()) {
        http_.trouble("the server's answer to the poll is not a JSON object ("
            + (parsed.error != QJsonParseError::NoError ? parsed.errorString().toStdString()
                        + " at byte " + std::to_string(parsed.offset)
                                                        : std::string("another JSON value"))
            + "): " + Shown(answer.body));
        return later();
    }
    http_.fine();
    const QJsonObject reply = document.object();

    // Actions asked for are answered at once, and a job waits for the poll
    // after that: the server asks for one or the other.
    const QJsonArray actions = reply.value("clientAction").toArray();
    if (!actions.isEmpty()) {
        answerActions(actions);
        return nextPoll(std::chrono::milliseconds(0));
    }
    later();
    if (!reply.value("jobReady").toBool() || jobBusy_)
        return;
    // An offline printer fetches nothing; it keeps polling with its state.
    if (state && state().isOffline())
        return;

    token_ = reply.value("jobToken").toString().left(kMostIdLength).toStdString();
    confirmByGet_ = reply.value("deleteMethod").toString().compare("GET", Qt::CaseInsensitive) == 0;
    QUrl getUrl = url_, confirmUrl = url_;
    for (auto [key, into] : { std::pair<const char*, QUrl*> { "jobGetUrl", &getUrl },
             { "jobConfirmationUrl", &confirmUrl } }) {
        const QUrl other(reply.value(key).toString(), QUrl::StrictMode);
        const QString scheme = other.scheme().toLower();
        if (other.isValid() && !other.host().isEmpty() && (scheme == "http" || scheme == "https"))
            *into = other;
    }
    confirmUrl_ = confirmUrl;
    jobBusy_ = true;

    std::vector<std::string> offered;
    for (const QJsonValue& type : reply.value("mediaTypes").toArray())
        if (offered.size() < static_cast<std::size_t>(kMostMediaTypes))
            offered.push_back(type.toString().toStdString());
    if (offered.empty())
        return fetch(getUrl, "", token_); // the server's own choice, named by its Content-Type
    const std::string type = ChooseCloudPrntMediaType(offered, mediaTypes());
    if (type.empty()) {
        std::string list;
        for (const std::string& one : offered)
            list += (list.empty() ? "" : ", ") + QuotedForMessage(one);
        if (said)
            said(http_.name() + ": the job is offered as " + list
                + ", none of which this printer takes");
        return confirm("510 Incompatible Media Type");
    }
    fetch(getUrl, type, token_);
}

void CloudPrntClient::answerActions(const QJsonArray& actions)
{
    const receipt::PrinterProfile& profile = *settings_.profile;
    int answered = 0;
    for (const QJsonValue& value : actions) {
        if (++answered > kMostActions)
            break;
        const QJsonObject action = value.toObject();
        const QString request = action.value("request").toString();
        QJsonValue result;
        if (request == "ClientType") {
            result = QString::fromStdString("ostrel-capture stand-in " + profile.id);
        } else if (request == "ClientVersion") {
            result = "1.0.0";
        } else if (request == "Encodings") {
            std::string list;
            for (const std::string& type : mediaTypes())
                list += (list.empty() ? "" : "; ") + type;
            result = QString::fromStdString(list);
        } else if (request == "SetID") {
            uniqueId_ = action.value("options").toString().left(kMostIdLength).toStdString();
            result = QString::fromStdString(uniqueId_);
        } else if (request == "GetPollInterval") {
            result = QString::number((settings_.pollInterval.count() + 999) / 1000);
        } else if (request == "PageInfo") {
            // Strings, as Star sends them; 8 dots a millimetre.
            result = QJsonObject { { "paperWidth", QString::number(profile.paperMillimetres) },
                { "printWidth", QString::number(profile.printDots / 8) },
                { "horizontalResolution", "8" }, { "verticalResolution", "8" } };
        } else {
            continue; // not one this printer knows: no answer, as a client without it gives none
        }
        actionResults_.append(QJsonObject { { "request", request }, { "result", result } });
    }
}

void CloudPrntClient::fetch(const QUrl& where, const std::string& type, const std::string& token)
{
    std::vector<std::pair<std::string, std::string>> items;
    if (!type.empty())
        items.emplace_back("type", type);
    items.emplace_back("mac", mac_);
    if (!token.empty())
        items.emplace_back("token", token);
    QNetworkRequest get = request(withQuery(where, items));
    std::string accept;
    for (const std::string& one : mediaTypes())
        accept += (accept.empty() ? "" : ", ") + one;
    const receipt::PrinterProfile& profile = *settings_.profile;
    get.setRawHeader("Accept", QByteArray::fromStdString(accept));
    get.setRawHeader("X-Star-Paper-Width", QByteArray::number(profile.paperMillimetres));
    get.setRawHeader("X-Star-Print-Width", QByteArray::number(profile.printDots / 8));
    get.setRawHeader("X-Star-Horizontal-Resolution", "8");
    get.setRawHeader("X-Star-Vertical-Resolution", "8");
    get.setRawHeader("X-Star-Mac", QByteArray::fromStdString(mac_));
    if (!token.empty())
        get.setRawHeader("X-Star-Token", QByteArray::fromStdString(Percent(token)));
    http_.send(get, "GET", {}, settings_.maxJobBytes, settings_.jobTimeout,
        [this, type](const HttpPoller::Answer& answer) { fetched(answer, type); });
}

void CloudPrntClient::fetched(const HttpPoller::Answer& answer, std::string type)
{
    auto refuse = [this](const std::string& why, const std::string& code) {
        if (said)
            said(http_.name() + ": " + why);
        confirm(code);
    };
    if (answer.tooLarge)
        return refuse("the job is larger than --max-job-bytes ("
                + std::to_string(settings_.maxJobBytes) + ")",
            "521 Job Too Large");
    if (!answer.failure.empty()) {
        http_.trouble("fetching the job failed: " + answer.failure);
        return confirm("520 Job Download Timeout");
    }
    if (answer.status != 200)
        return refuse("the server answers the job's GET with HTTP " + std::to_string(answer.status),
            "520 Job Download Error");
    if (type.empty())
        type = BareType(answer.contentType.toStdString());
    const std::vector<std::string> ours = mediaTypes();
    if (std::find(ours.begin(), ours.end(), type) == ours.end())
        return refuse(
            "the job came as " + QuotedForMessage(type) + ", which this printer does not take",
            "510 Incompatible Media Type");

    Job job;
    job.mediaType = type;
    job.token = token_;
    const receipt::Language language = settings_.profile->language;
    receipt::JobEnding ending;
    if (type == kText || type == kPng || type == kJpeg)
        ReadStarJobHeaders(answer.reply->rawHeader("X-Star-Cut"),
            answer.reply->rawHeader("X-Star-CashDrawer"), ending);
    const std::string_view body(
        answer.body.constData(), static_cast<std::size_t>(answer.body.size()));
    if (type == kText) {
        job.commands = receipt::PlainTextJob(language, body, ending);
    } else if (type == kPng || type == kJpeg) {
        const bool dither
            = answer.reply->rawHeader("X-Star-ImageDitherPattern").trimmed().toLower() != "none";
        std::string why;
        if (!picture(body, ending, dither, job.commands, why))
            return refuse(
                "the job's picture cannot be printed: " + why, "511 Media Decoding Error");
        job.document.assign(body);
        job.documentExtension = type == kPng ? "png" : "jpg";
    } else {
        job.commands.assign(body); // the model's own commands, as they are
    }

    const Printing printing = print(std::move(job));
    if (printing.state.isOffline()) {
        // Not the job's fault: the server hears the state at once and keeps
        // the job, which is fetched again once the printer is back.
        if (said)
            said(http_.name() + ": the printer is " + CloudPrntStatusCode(printing.state)
                + "; the job is not confirmed and will be fetched again");
        jobOver();
        pollTimer_.stop();
        return poll();
    }
    printedAt_ = printing.printedAt;
    waitForPaper();
}

void CloudPrntClient::waitForPaper()
{
    // A printer in time confirms once the job is on paper; while it waits
    // for paper or a closed cover, the polls tell the server why.
    const long long now = printed ? printed() : LLONG_MAX;
    if (now < printedAt_)
        return;
    printedAt_ = -1;
    confirm("200 OK");
}

void CloudPrntClient::confirm(const std::string& code)
{
    std::vector<std::pair<std::string, std::string>> items { { "mac", mac_ }, { "code", code } };
    if (!token_.empty())
        items.emplace_back("token", token_);
    const QUrl url = withQuery(confirmUrl_.isEmpty() ? url_ : confirmUrl_, items, confirmByGet_);
    http_.send(request(url), confirmByGet_ ? "GET" : "DELETE", {}, kMostConfirmAnswer,
        settings_.pollTimeout, [this, code](const HttpPoller::Answer& answer) {
            if (!answer.failure.empty())
                http_.trouble("confirming the job (" + code + ") failed: " + answer.failure);
            jobOver();
        });
}

void CloudPrntClient::jobOver()
{
    jobBusy_ = false;
    token_.clear();
    confirmUrl_ = QUrl();
    printedAt_ = -1;
    if (settled)
        settled();
}

} // namespace ostrel
