#include "net/server_direct_print_client.h"

#include "net/epos_print_document.h"
#include "protocol/message_text.h"

#include <QNetworkReply>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <climits>

namespace ostrel {
namespace {

    constexpr const char* kEposPrintNamespace
        = "http://www.epson-pos.com/schemas/2011/03/epos-print";
    constexpr const char* kEposDisplayNamespace
        = "http://www.epson-pos.com/schemas/2012/09/epos-display";
    // PrintRequestInfo, ePOSPrint and PrintData around an ePOS-Print document.
    constexpr int kMostDepth = kEposMaxDepth + 4;
    constexpr int kMostParameterLength = 256;
    constexpr long long kMostResultAnswer = 64 << 10;
    constexpr int kMostResultTries = 5; // then the results are dropped, and new requests asked for

    std::string Percent(const std::string& text)
    {
        return QUrl::toPercentEncoding(QString::fromStdString(text)).toStdString();
    }

    // The text of a <Parameter> child, bounded; false when it holds elements.
    bool ReadText(QXmlStreamReader& xml, std::string& into)
    {
        const QString text = xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        into = text.trimmed().left(kMostParameterLength).toStdString();
        return !xml.hasError();
    }

    bool ReadParameter(QXmlStreamReader& xml, SdpPrintRequest& print)
    {
        while (xml.readNextStartElement()) {
            std::string value;
            if (!ReadText(xml, value))
                return false;
            if (xml.name() == u"devid")
                print.devid = value;
            else if (xml.name() == u"printjobid")
                print.printJobId = value;
            else if (xml.name() == u"timeout")
                print.timeoutMs = std::atoll(value.c_str());
        }
        return !xml.hasError();
    }

    // Writes the element the reader is at, and all inside it, as a document.
    bool CopyElement(QXmlStreamReader& xml, QByteArray& into, int depth)
    {
        QXmlStreamWriter out(&into);
        out.writeStartDocument();
        int open = 0;
        do {
            if (xml.isStartElement() && ++open + depth > kMostDepth) {
                xml.raiseError(
                    "the print data is nested more than " + QString::number(kMostDepth) + " deep");
                return false;
            }
            if (xml.isEndElement())
                --open;
            if (xml.isStartElement()) {
                // Names and namespace declarations as they came, not re-prefixed.
                out.writeStartElement(xml.qualifiedName().toString());
                for (const QXmlStreamNamespaceDeclaration& declared : xml.namespaceDeclarations())
                    out.writeAttribute(declared.prefix().isEmpty()
                            ? QString("xmlns")
                            : "xmlns:" + declared.prefix().toString(),
                        declared.namespaceUri().toString());
                for (const QXmlStreamAttribute& attribute : xml.attributes())
                    out.writeAttribute(
                        attribute.qualifiedName().toString(), attribute.value().toString());
            } else {
                out.writeCurrentToken(xml);
            }
            if (open == 0)
                break;
            xml.readNext();
        } while (!xml.atEnd() && !xml.hasError());
        out.writeEndDocument();
        return !xml.hasError();
    }

    bool ReadEposPrint(QXmlStreamReader& xml, SdpPrintRequest& print)
    {
        while (xml.readNextStartElement()) {
            if (xml.name() == u"Parameter") {
                if (!ReadParameter(xml, print))
                    return false;
            } else if (xml.name() == u"PrintData") {
                if (!CopyElement(xml, print.printData, 2))
                    return false;
            } else {
                xml.skipCurrentElement();
            }
        }
        return !xml.hasError();
    }

    void WriteResponse(QXmlStreamWriter& out, const SdpPrintResult& result)
    {
        out.writeStartElement("response");
        out.writeDefaultNamespace(result.display ? kEposDisplayNamespace : kEposPrintNamespace);
        out.writeAttribute("success", result.success ? "true" : "false");
        out.writeAttribute("code", QString::fromStdString(result.code));
        out.writeAttribute("status", QString::number(result.status));
        if (!result.display)
            out.writeAttribute("battery", "0");
        out.writeEndElement();
    }

} // namespace

bool ReadPrintRequestInfo(const QByteArray& body, SdpRequestInfo& info, std::string& error)
{
    QXmlStreamReader xml(body);
    info = {};
    if (!xml.readNextStartElement() || xml.name() != u"PrintRequestInfo") {
        error = xml.hasError() ? xml.errorString().toStdString()
                               : "it does not begin with <PrintRequestInfo>";
        return false;
    }
    if (xml.attributes().hasAttribute("Version"))
        info.version = xml.attributes().value("Version").left(16).toString().toStdString();
    while (xml.readNextStartElement()) {
        const bool display = xml.name() == u"ePOSDisplay";
        if (xml.name() != u"ePOSPrint" && !display) {
            xml.skipCurrentElement();
            continue;
        }
        if (info.prints.size() >= static_cast<std::size_t>(kSdpMostPrints)) {
            error
                = "it holds more than " + std::to_string(kSdpMostPrints) + " <ePOSPrint> documents";
            return false;
        }
        info.prints.emplace_back();
        info.prints.back().display = display;
        if (!ReadEposPrint(xml, info.prints.back()))
            break;
    }
    if (xml.readNext() != QXmlStreamReader::EndDocument && !xml.hasError())
        xml.raiseError("more follows </PrintRequestInfo>");
    if (xml.hasError()) {
        error = xml.errorString().toStdString() + " at line " + std::to_string(xml.lineNumber());
        return false;
    }
    return true;
}

QByteArray PrintResponseInfo(
    const std::string& requestVersion, const std::vector<SdpPrintResult>& results)
{
    // Job IDs came: the answer is 2.00 at least, each result in its <ePOSPrint>.
    bool ids = requestVersion != "1.00";
    for (const SdpPrintResult& result : results)
        ids = ids || !result.printJobId.empty();
    const QString version = requestVersion == "3.00" ? "3.00" : ids ? "2.00" : "1.00";
    QByteArray xml;
    QXmlStreamWriter out(&xml);
    out.writeStartDocument();
    out.writeStartElement("PrintResponseInfo");
    out.writeAttribute("Version", version);
    if (version == "3.00") {
        out.writeStartElement("ServerDirectPrint");
        out.writeEmptyElement("Response");
        out.writeAttribute("Success", "true");
        out.writeEndElement();
    }
    for (const SdpPrintResult& result : results) {
        if (version == "1.00") {
            WriteResponse(out, result);
            continue;
        }
        out.writeStartElement(result.display ? "ePOSDisplay" : "ePOSPrint");
        out.writeStartElement("Parameter");
        out.writeTextElement("devid", QString::fromStdString(result.devid));
        out.writeTextElement("printjobid", QString::fromStdString(result.printJobId));
        out.writeEndElement();
        out.writeStartElement(result.display ? "DisplayResponse" : "PrintResponse");
        WriteResponse(out, result);
        out.writeEndElement();
        out.writeEndElement();
    }
    out.writeEndElement();
    out.writeEndDocument();
    return xml;
}

QByteArray PrintResponseInfoRefused(const std::string& summary, const std::string& detail)
{
    QByteArray xml;
    QXmlStreamWriter out(&xml);
    out.writeStartDocument();
    out.writeStartElement("PrintResponseInfo");
    out.writeAttribute("Version", "3.00");
    out.writeStartElement("ServerDirectPrint");
    out.writeStartElement("Response");
    out.writeAttribute("Success", "false");
    out.writeTextElement("ErrorSummary", QString::fromStdString(summary));
    out.writeTextElement("ErrorDetail", QString::fromStdString(detail));
    out.writeEndElement();
    out.writeEndElement();
    out.writeEndElement();
    out.writeEndDocument();
    return xml;
}

ServerDirectPrintClient::ServerDirectPrintClient(Settings settings)
    : settings_(std::move(settings))
    , http_("server-direct-print " + UrlForMessage(settings_.url))
    , url_(QUrl(QString::fromStdString(settings_.url), QUrl::StrictMode))
{
    http_.said = [this](const std::string& line) {
        if (said)
            said(line);
    };
    pollTimer_.setSingleShot(true);
    connect(&pollTimer_, &QTimer::timeout, this, &ServerDirectPrintClient::poll);
    watch_.setInterval(100);
    connect(&watch_, &QTimer::timeout, this, &ServerDirectPrintClient::waitForPaper);
}

ServerDirectPrintClient::~ServerDirectPrintClient() { stop(); }

bool ServerDirectPrintClient::start(std::string& error)
{
    const QString scheme = url_.scheme().toLower();
    if (!url_.isValid() || url_.host().isEmpty() || (scheme != "http" && scheme != "https")) {
        error = "--server-direct-print " + UrlForMessage(settings_.url)
            + ": not an http:// or https:// URL";
        return false;
    }
    if (!settings_.caFile.empty() && !http_.trustCaFile(settings_.caFile, error))
        return false;
    stopped_ = false;
    pollTimer_.start(0);
    return true;
}

void ServerDirectPrintClient::stop()
{
    stopped_ = true;
    pollTimer_.stop();
    watch_.stop();
    http_.abandon();
}

QNetworkRequest ServerDirectPrintClient::form() const
{
    QNetworkRequest request(url_);
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
    request.setHeader(QNetworkRequest::UserAgentHeader, "ostrel-capture ServerDirectPrint/1.0");
    return request;
}

void ServerDirectPrintClient::poll()
{
    if (stopped_)
        return;
    if (!unsent_.isEmpty() && ++unsentTries_ <= kMostResultTries)
        return sendResults(unsent_);
    if (!unsent_.isEmpty() && said)
        said(http_.name() + ": the server took no printing results in "
            + std::to_string(kMostResultTries) + " tries; they are dropped");
    unsent_.clear();
    const std::string body = "ConnectionType=GetRequest&ID=" + Percent(settings_.id)
        + "&Name=" + Percent(settings_.name);
    http_.send(form(), "POST", QByteArray::fromStdString(body), settings_.maxJobBytes,
        settings_.timeout, [this](const HttpPoller::Answer& answer) { polled(answer); });
}

void ServerDirectPrintClient::polled(const HttpPoller::Answer& answer)
{
    auto later = [this] {
        if (!stopped_)
            pollTimer_.start(settings_.pollInterval);
    };
    if (!answer.failure.empty()) {
        http_.trouble("asking for print requests failed: " + answer.failure);
        return later();
    }
    if (answer.status != 200) {
        http_.trouble("the server answers the request for print requests with HTTP "
            + std::to_string(answer.status));
        return later();
    }
    if (answer.body.trimmed().isEmpty()) {
        http_.fine();
        return later(); // nothing to print
    }
    std::string error;
    if (!ReadPrintRequestInfo(answer.body, request_, error)) {
        http_.trouble("the server's answer is not a <PrintRequestInfo> that can be read: "
            + QuotedForMessage(error));
        return sendResults(PrintResponseInfoRefused("XML error", error));
    }
    http_.fine();
    results_.clear();
    next_ = 0;
    busy_ = true;
    printNext();
}

void ServerDirectPrintClient::printNext()
{
    if (stopped_)
        return;
    if (next_ >= request_.prints.size())
        return sendResults(PrintResponseInfo(request_.version, results_));
    const SdpPrintRequest& print = request_.prints[next_];
    results_.push_back({ print.devid, print.printJobId, false, {}, 0, print.display });
    const PrinterState now = state ? state() : PrinterState {};
    // The customer display Epson's TM-T88VI drives: this printer has none,
    // and answers as a TM does when none is connected.
    if (print.display)
        return finishDocument(false, "EDSP_NOT_FOUND", now);
    const std::string named
        = print.printJobId.empty() ? "" : " " + QuotedForMessage(print.printJobId);
    // The printer itself is local_printer, the device ID a TM-i gives its own.
    if (print.devid != "local_printer" && print.devid != settings_.name) {
        if (said)
            said(http_.name() + ": document" + named + " is for the device "
                + QuotedForMessage(print.devid) + ", not this printer (local_printer)");
        return finishDocument(false, "DeviceNotFound", now);
    }
    std::string error;
    const EposPrintRequest epos = ReadEposPrintRequest(print.printData, error, settings_.printer);
    if (!error.empty()) {
        if (said)
            said(http_.name() + ": document" + named + " is refused: " + QuotedForMessage(error));
        return finishDocument(false, "SchemaError", now);
    }
    if (now.isOffline() || epos.statusOnly)
        return finishDocument(!now.isOffline(), EposErrorCode(now), now);
    Job job { epos.commands, print.printData.toStdString(), print.devid, print.printJobId };
    const Printing printing = this->print(std::move(job));
    if (printing.state.isOffline())
        return finishDocument(false, EposErrorCode(printing.state), printing.state);
    printedAt_ = printing.printedAt;
    watch_.start();
    waitForPaper();
}

void ServerDirectPrintClient::waitForPaper()
{
    if (printedAt_ < 0)
        return;
    const PrinterState now = state ? state() : PrinterState {};
    // A printer in time answers once the document is on paper, or with the
    // error that stopped it.
    if (now.isOffline())
        return finishDocument(false, EposErrorCode(now), now);
    if ((printed ? printed() : LLONG_MAX) >= printedAt_)
        finishDocument(true, {}, now);
}

void ServerDirectPrintClient::finishDocument(
    bool success, const std::string& code, const PrinterState& now)
{
    watch_.stop();
    printedAt_ = -1;
    results_.back().success = success;
    results_.back().code = code;
    results_.back().status = results_.back().display ? 0 : EposStatus(now);
    ++next_;
    printNext();
}

void ServerDirectPrintClient::sendResults(const QByteArray& responseFile)
{
    if (unsent_ != responseFile)
        unsentTries_ = 0;
    unsent_ = responseFile;
    const QByteArray body = "ConnectionType=SetResponse&ID="
        + QUrl::toPercentEncoding(QString::fromStdString(settings_.id))
        + "&ResponseFile=" + QUrl::toPercentEncoding(QString::fromUtf8(responseFile));
    http_.send(form(), "POST", body, kMostResultAnswer, settings_.timeout,
        [this](const HttpPoller::Answer& answer) {
            // Results the server did not take are posted again, before the
            // printer asks for more, as a TM printer tries again.
            if (!answer.failure.empty()) {
                http_.trouble("posting the printing results failed: " + answer.failure);
            } else if (answer.status != 200) {
                http_.trouble("the server answers the printing results with HTTP "
                    + std::to_string(answer.status));
            } else {
                unsent_.clear();
                http_.fine();
            }
            if (!stopped_)
                pollTimer_.start(settings_.pollInterval);
            if (busy_) {
                busy_ = false;
                if (settled)
                    settled();
            }
        });
}

} // namespace ostrel
