#pragma once

#include "net/listen_address.h"
#include "net/lpd_conversation.h"
#include "net/tcp_printer_port.h"
#include "printer/printer_state.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ostrel {

// A printer's LPD port (RFC 1179, TCP 515): each connection a conversation
// of its own, several at once as a print server takes them, each data file
// received one job. Connections past the most wait in the system's queue;
// each ends when silent for the idle limit or longer than the job limit.
class LpdPort : public QObject {
    Q_OBJECT
public:
    explicit LpdPort(LpdLimits limits = {}, TcpJobLimits timing = {});
    ~LpdPort() override;

    // False, with a reason naming the address, when it cannot listen there.
    bool listen(const ListenAddress& where, std::string& error);
    // "127.0.0.1:515", with the port it really got.
    std::string listeningOn() const;
    quint16 port() const;
    // Stops listening and ends every conversation now, what came printed.
    void close();
    std::size_t conversations() const { return links_.size(); }

    // A data file to print, from `peer` ("127.0.0.1:41234").
    std::function<void(LpdJob job, const std::string& peer)> job;
    // The text answering a query about the queue.
    std::function<std::string(const LpdQuery& query)> answer;
    // A line to say: the peer, then what it sent wrong or what was lost.
    std::function<void(const std::string& line)> said;

    static constexpr std::size_t kMostConversations = 16;

private:
    class Listener;
    struct Link;
    void accepted(int descriptor);
    void readFrom(Link& link);
    void finish(Link& link, bool closedByPeer, const std::string& why);
    void finishLater(Link& link, const std::string& why);

    LpdLimits limits_;
    TcpJobLimits timing_;
    std::unique_ptr<Listener> server_;
    std::vector<std::unique_ptr<Link>> links_;
    std::vector<char> buffer_;
    unsigned long long nextId_ = 0;
};

// The text of the answer to a query about a printer's queue, as lpq shows
// it: its state from the printer's sensors; it has no entries, each job
// printed as it came.
std::string LpdQueueAnswer(const LpdQuery& query, const std::string& printer,
    const std::string& model, const PrinterState& state);

// The fields a job's line carries of where its data file came from: always
// lpd_queue, lpd_job_name, lpd_user and lpd_host; the others when given,
// lpd_incomplete when not all of it came.
std::vector<std::pair<std::string, std::string>> LpdOrigin(const LpdJob& job);

} // namespace ostrel
