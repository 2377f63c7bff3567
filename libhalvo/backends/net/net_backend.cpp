#include "net_backend.h"

#include "../../remote/remote_board.h"
#include "../../status.h"
#include "../../text.h"
#include "../destination.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <sstream>
#include <thread>
#include <unordered_map>

namespace halvo::net
{

using remote::Json;
using remote::Row;

namespace
{

std::string configHome()
{
    if (const char *xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        return xdg;
    if (const char *home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.config";
    return "";
}

// The remote configuration's text ("" when there is none); false when the
// file exists but may not be used.
bool remoteConfiguration(std::string &text)
{
    std::vector<std::string> candidates;
    if (const char *path = std::getenv("HALVO_REMOTE_CONF"); path && *path) {
        candidates.push_back(path);
    } else {
        if (const std::string home = configHome(); !home.empty())
            candidates.push_back(home + "/halvo/remote.conf");
        candidates.push_back("/etc/halvo/remote.conf");
    }
    for (const std::string &path : candidates) {
        // Tokens and key paths are secrets: only the owner may read them.
        std::string error;
        switch (readPrivateFile(path, text, error)) {
        case PrivateFile::Missing:
            continue;
        case PrivateFile::Refused:
            std::fprintf(stderr, "libhalvo: remote configuration refused: %s\n", error.c_str());
            return false;
        case PrivateFile::Read:
            return true;
        }
    }
    text.clear();
    return true;
}

using Clock = std::chrono::steady_clock;
using MakeClient = std::function<std::unique_ptr<httplib::ClientImpl>()>;

// A write to a connection the agent has closed raises SIGPIPE, whose default
// kills the process; OpenSSL writes without MSG_NOSIGNAL. The signal is
// blocked for the calling thread during an exchange, and one it raised is
// taken before the mask is restored, so the program's own handling of
// SIGPIPE stays as it was.
class NoSigpipe
{
public:
    NoSigpipe()
    {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        wasPending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe_, &saved_);
    }
    ~NoSigpipe()
    {
        sigset_t pending;
        sigpending(&pending);
        if (!wasPending_ && sigismember(&pending, SIGPIPE) == 1) {
            const timespec now{0, 0};
            sigtimedwait(&pipe_, nullptr, &now);
        }
        pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
    }
    NoSigpipe(const NoSigpipe &) = delete;
    NoSigpipe &operator=(const NoSigpipe &) = delete;

private:
    sigset_t pipe_, saved_;
    bool wasPending_ = false;
};

// One HTTP exchange with the agent; `reply` is the answer's JSON on 200.
// With `snapshotAfter` a write's answer brings the snapshot taken after it.
int32_t send(httplib::ClientImpl &client, const std::string &token, const std::string &method,
             const std::string &target, const std::string &body, Json &reply, bool snapshotAfter = false)
{
    httplib::Request request;
    request.method = method;
    request.path = target;
    request.headers.emplace(remote::kProtocolHeader, std::to_string(remote::kProtocolVersion));
    if (!token.empty())
        request.headers.emplace("Authorization", "Bearer " + token);
    if (snapshotAfter)
        request.headers.emplace(remote::kSnapshotAfterHeader, "after");
    // The snapshot and the description come gzip-coded, alone or after a
    // write: one round trip each within TCP's first window, whatever the
    // board holds.
    if (snapshotAfter || (method == "GET" && (target == "/v1/snapshot" || target == "/v1/description")))
        request.headers.emplace("Accept-Encoding", "gzip");
    if (method != "GET") {
        request.body = body;
        request.headers.emplace("Content-Type", "application/json");
    }
    const NoSigpipe noSigpipe;
    const httplib::Result result = client.send(request);
    // A board whose certificate the configured CA did not sign is refused,
    // not lost: reconnecting would meet the same certificate.
    if (!result)
        return result.error() == httplib::Error::SSLServerVerification ? fail(HALVO_CLASS_ACCESS, kPermission)
                                                                       : fail(HALVO_CLASS_CONNECTION, kTransport);
    const httplib::Response &response = result.value();
    if (response.status == 401 || response.status == 403)
        return fail(HALVO_CLASS_ACCESS, kPermission);
    if (response.status == 426 ||
        response.get_header_value(remote::kProtocolHeader) != std::to_string(remote::kProtocolVersion))
        return fail(HALVO_CLASS_CONNECTION, kProtocolVersion);
    if (response.status == 400 || response.status == 404 || response.status == 413)
        return badArgument(kBadValue);
    if (response.status != 200)
        return fail(HALVO_CLASS_DEVICE, kProtocol);
    reply = Json::parse(response.body, nullptr, false);
    return reply.is_object() ? HALVO_STATUS_OK : fail(HALVO_CLASS_DEVICE, kProtocol);
}

// A read's place in the cache: its call and inputs, a list's count aside.
std::string keyOf(const std::string &name, const Json &in)
{
    std::string key = name;
    for (const auto &[input, value] : in.items())
        if (input != "count")
            key += ' ' + input + '=' + value.dump();
    return key;
}

// Whether the snapshot answers this read.
bool periodic(const Row &row, const Json &in)
{
    // The periodic reads of each row, found once.
    static const std::vector<std::vector<const remote::PeriodicRead *>> byRow = [] {
        std::vector<std::vector<const remote::PeriodicRead *>> table(remote::rows().size());
        for (const remote::PeriodicRead &p : remote::periodicReads())
            if (const Row *r = remote::findRow(p.name))
                table[static_cast<size_t>(r - remote::rows().data())].push_back(&p);
        return table;
    }();
    const size_t index = static_cast<size_t>(&row - remote::rows().data());
    if (index >= byRow.size())
        return false;
    for (const remote::PeriodicRead *p : byRow[index]) {
        bool same = true;
        for (const auto &[name, value] : p->inputs) {
            const auto it = in.find(name);
            same = same && it != in.end() && *it == value;
        }
        if (same)
            return true;
    }
    return false;
}

// The reads the agent answered in one snapshot or description, kept for the
// calls of the window that follow. A periodic read is answered from the
// cache while its value is younger than the snapshot age; a thread of its
// own fetches the next snapshot before the last one is that old, as long as
// periodic reads keep coming, so that they do not wait on the network. A
// write drops what it may have changed: every periodic value, and the
// description's values beside and under the written path (a fan's cruise
// write drops the fan's mode; the backlight's write drops the backlight,
// not the board's records).
class Cache
{
public:
    Cache(MakeClient makeClient, std::string token, int64_t ageMs, int64_t waitMs)
        : makeClient_(std::move(makeClient)), token_(std::move(token)), age_(std::chrono::milliseconds(ageMs)),
          wait_(std::chrono::milliseconds(waitMs))
    {
    }

    ~Cache()
    {
        // Closing a TLS connection writes its close notice.
        const NoSigpipe noSigpipe;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
            if (client_)
                client_->stop();
        }
        wake_.notify_all();
        if (thread_.joinable())
            thread_.join();
        client_.reset();
    }

    // The description (which holds the periodic reads too), fetched at
    // connection on the caller's client; it checks the protocol version and
    // the credentials as the session call does. Its status.
    int32_t describe(httplib::ClientImpl &client)
    {
        const auto sent = Clock::now();
        Json reply;
        const int32_t status = send(client, token_, "GET", "/v1/description", "", reply);
        if (status == HALVO_STATUS_OK) {
            std::lock_guard<std::mutex> lock(mutex_);
            install(reply, sent);
            // Opening the board is a use: its first writes bring their
            // snapshots back.
            lastUse_ = sent;
        }
        return status;
    }

    // The cached answer to a read; false when there is none young enough.
    bool answer(const Row &row, const Json &in, std::shared_ptr<const Json> &out, int32_t &status)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = entries_.find(keyOf(row.name, in));
        if (it == entries_.end() || Clock::now() - it->second.fetched > age_)
            return false;
        const Entry &e = it->second;
        // A list read of another count than the snapshot's list goes to the agent.
        if (in.contains("count") && (e.listSize < 0 || Json(e.listSize) != in["count"]))
            return false;
        status = e.status;
        out = e.out;
        return true;
    }

    // A periodic read came: the snapshots keep coming while they do.
    void used()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lastUse_ = Clock::now();
        if (!thread_.joinable())
            thread_ = std::thread([this] { fetchLoop(); });
        // Only a thread that stopped for want of reads needs waking; a
        // running one wakes at its own time (a wake per read would cost the
        // reader a context switch).
        if (idle_)
            wake_.notify_all();
    }

    // A snapshot fetched from now on: the one the fetching thread has on its
    // way (it began after the last write), or one fetched here on the
    // caller's connection. Its status.
    int32_t fresh(httplib::ClientImpl &client)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (inFlight_) {
            const uint64_t ticket = serving_;
            if (!wake_.wait_for(lock, wait_, [&] { return stop_ || served_ >= ticket; }))
                return fail(HALVO_CLASS_CONNECTION, kTransport);
            return servedStatus_;
        }
        const uint64_t generation = generation_;
        lock.unlock();
        const auto sent = Clock::now();
        Json reply;
        const int32_t status = send(client, token_, "GET", "/v1/snapshot", "", reply);
        lock.lock();
        triedAt_ = sent;
        if (status == HALVO_STATUS_OK && generation == generation_)
            install(reply, sent);
        return status;
    }

    // Before a write to `path`: what it may change is no longer answered,
    // and no snapshot fetched before it will be. The write's generation, and
    // whether its answer should bring the snapshot after it: so while reads
    // are coming, as they would fetch it next anyway.
    uint64_t written(const std::string &path, bool &snapshotAfter)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        snapshotAfter = Clock::now() - lastUse_ < 2 * age_;
        ++generation_;
        const std::string parent = path.substr(0, path.rfind('/') + 1);
        for (auto it = entries_.begin(); it != entries_.end();) {
            const bool under = it->second.path.compare(0, parent.size(), parent) == 0;
            it = it->second.periodic || under ? entries_.erase(it) : std::next(it);
        }
        snapshotAt_ = {};
        return generation_;
    }

    // The snapshot a write's answer brought, taken after the write: kept
    // unless another write has come since. False when it was not kept.
    bool writtenSnapshot(Json &snapshot, Clock::time_point sent, uint64_t generation)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (generation != generation_ || !snapshot.is_object())
            return false;
        install(snapshot, sent);
        return snapshotAt_ == sent;
    }

    // After the write: the next snapshot is fetched now if reads are coming,
    // so that the next refresh finds the write's effect without waiting.
    void afterWrite()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (thread_.joinable() && Clock::now() - lastUse_ < 2 * age_) {
            ++wanted_;
            wake_.notify_all();
        }
    }

private:
    struct Entry {
        int32_t status;
        std::shared_ptr<const Json> out;
        int64_t listSize; // -1: not a list
        Clock::time_point fetched;
        bool periodic;
        std::string path;
    };

    // Under the lock.
    void install(Json &reply, Clock::time_point sent)
    {
        const auto reads = reply.find("reads");
        if (reads == reply.end() || !reads->is_array())
            return;
        for (Json &read : *reads) {
            if (!read.is_object() || !read.contains("name") || !read["name"].is_string() || !read.contains("in") ||
                !read["in"].is_object())
                continue;
            const Row *row = remote::findRow(read["name"].get<std::string>());
            if (!row || row->role() != remote::Role::Monitor)
                continue;
            std::string body;
            std::string path;
            try {
                path = remote::requestTarget(*row, read["in"], body);
            } catch (const std::exception &) {
                continue;
            }
            path = path.substr(0, path.find('?'));
            const auto status = read.find("status");
            const auto out = read.find("out");
            if (status == read.end() || !status->is_number_integer() || out == read.end() || !out->is_object())
                continue;
            const auto list = out->find("list");
            const int64_t listSize = list != out->end() && list->is_array() ? int64_t(list->size()) : -1;
            const bool isPeriodic = periodic(*row, read["in"]);
            // The key before the outputs are moved out of the read.
            std::string key = keyOf(row->name, read["in"]);
            entries_[std::move(key)] =
                Entry{status->get<int32_t>(), std::make_shared<const Json>(std::move(*out)), listSize, sent, isPeriodic,
                      std::move(path)};
        }
        if (std::any_of(entries_.begin(), entries_.end(), [&](const auto &e) { return e.second.periodic; }))
            snapshotAt_ = sent;
    }

    // Fetches a snapshot when one is waited for, or when the last is three
    // quarters of the age old while periodic reads keep coming (none for
    // twice the age: the window is gone or hidden).
    void fetchLoop()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stop_) {
            const auto now = Clock::now();
            const bool active = now - lastUse_ < 2 * age_;
            const auto due = std::max(snapshotAt_, triedAt_) + age_ * 3 / 4;
            if (wanted_ <= served_ && (!active || now < due)) {
                idle_ = !active;
                if (active)
                    wake_.wait_until(lock, due);
                else
                    wake_.wait(lock);
                idle_ = false;
                continue;
            }
            const uint64_t serving = wanted_;
            const uint64_t generation = generation_;
            if (!client_)
                client_ = makeClient_();
            if (!client_) {
                served_ = serving;
                servedStatus_ = fail(HALVO_CLASS_ACCESS, kPermission);
                wake_.notify_all();
                continue;
            }
            inFlight_ = true;
            serving_ = serving;
            lock.unlock();
            const auto sent = Clock::now();
            Json reply;
            const int32_t status = send(*client_, token_, "GET", "/v1/snapshot", "", reply);
            lock.lock();
            inFlight_ = false;
            triedAt_ = sent;
            // A snapshot begun before a write may show what the write changed.
            if (generation != generation_)
                continue;
            if (status == HALVO_STATUS_OK)
                install(reply, sent);
            served_ = serving;
            servedStatus_ = status;
            wake_.notify_all();
        }
    }

    const MakeClient makeClient_;
    const std::string token_;
    const Clock::duration age_, wait_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::unordered_map<std::string, Entry> entries_;
    std::unique_ptr<httplib::ClientImpl> client_; // the fetching thread's own connection
    std::thread thread_;
    Clock::time_point lastUse_, snapshotAt_, triedAt_;
    uint64_t wanted_ = 0, served_ = 0, serving_ = 0, generation_ = 0;
    bool inFlight_ = false;
    int32_t servedStatus_ = HALVO_STATUS_OK;
    bool stop_ = false, idle_ = false;
};

class NetBackend final : public remote::RemoteBoard, public remote::Exchange
{
public:
    NetBackend(std::unique_ptr<httplib::ClientImpl> client, MakeClient makeClient, std::string token,
               int64_t snapshotMs, int64_t waitMs)
        : RemoteBoard(static_cast<remote::Exchange &>(*this)), client_(std::move(client)), token_(token)
    {
        if (snapshotMs > 0)
            cache_ = std::make_unique<Cache>(std::move(makeClient), std::move(token), snapshotMs, waitMs);
    }

    ~NetBackend() override
    {
        const NoSigpipe noSigpipe;
        cache_.reset();
        client_.reset();
    }

    // The session check at connection (protocol version and credentials),
    // then the board's description.
    int32_t hello()
    {
        if (cache_) {
            // An agent without a description answers 404: the session check.
            if (const int32_t status = cache_->describe(*client_); HALVO_ERROR_CLASS(status) != HALVO_CLASS_ARGUMENT)
                return status;
        }
        Json body;
        return send(*client_, token_, "GET", "/v1/session", "", body);
    }

    int32_t answer(const Row &row, const Json &in, Json &scratch, const Json *&out) override
    {
        int32_t status = HALVO_STATUS_OK;
        if (held(row, in, kept_, status)) {
            out = kept_ ? kept_.get() : &scratch;
            return status;
        }
        out = &scratch;
        return call(row, in, scratch);
    }

    int32_t exchange(const Row &row, const Json &in, Json &out) override
    {
        std::shared_ptr<const Json> kept;
        int32_t status = HALVO_STATUS_OK;
        if (held(row, in, kept, status)) {
            if (kept)
                out = *kept;
            return status;
        }
        return call(row, in, out);
    }

private:
    // A read answered from the description or a snapshot: true with its
    // status and, on success, its outputs.
    bool held(const Row &row, const Json &in, std::shared_ptr<const Json> &out, int32_t &status)
    {
        out.reset();
        if (!cache_ || row.role() != remote::Role::Monitor)
            return false;
        const bool again = periodic(row, in);
        if (again)
            cache_->used();
        if (cache_->answer(row, in, out, status))
            return true;
        if (!again)
            return false;
        // An agent that left the snapshot unanswered would leave the read
        // unanswered too: one wait of the call limit, not two.
        const int32_t fetched = cache_->fresh(*client_);
        if (cache_->answer(row, in, out, status))
            return true;
        status = fetched;
        return HALVO_ERROR_CLASS(fetched) == HALVO_CLASS_CONNECTION;
    }

    // The call itself, to the agent.
    int32_t call(const Row &row, const Json &in, Json &out)
    {
        const bool read = row.role() == remote::Role::Monitor;
        std::string body;
        const std::string target = remote::requestTarget(row, in, body);
        uint64_t generation = 0;
        bool snapshotAfter = false;
        if (cache_ && !read)
            generation = cache_->written(target.substr(0, target.find('?')), snapshotAfter);
        const auto sent = Clock::now();
        Json reply;
        const int32_t status = send(*client_, token_, row.method, target, body, reply, snapshotAfter);
        if (cache_ && !read) {
            // An agent that did not bring the snapshot back (an older one)
            // has it fetched apart.
            const auto snapshot = status == HALVO_STATUS_OK ? reply.find("snapshot") : reply.end();
            if (snapshot == reply.end() || !cache_->writtenSnapshot(*snapshot, sent, generation))
                cache_->afterWrite();
        }
        return status == HALVO_STATUS_OK ? remote::replyStatus(reply, out) : status;
    }

    std::unique_ptr<httplib::ClientImpl> client_;
    std::string token_;
    std::unique_ptr<Cache> cache_;
    std::shared_ptr<const Json> kept_; // what answer() last pointed into
};

} // namespace

bool parseAddress(const std::string &address, int32_t defaultPort, Endpoint &out)
{
    if (address.empty() || address.size() > 255 || address.find_first_of(" \t\r\n/?#@") != std::string::npos)
        return false;
    std::string host = address, port;
    if (address.front() == '[') {
        const size_t close = address.find(']');
        if (close == std::string::npos || close == 1)
            return false;
        host = address.substr(1, close - 1);
        const std::string rest = address.substr(close + 1);
        if (!rest.empty() && (rest[0] != ':' || rest.size() == 1))
            return false;
        port = rest.empty() ? "" : rest.substr(1);
    } else if (std::count(address.begin(), address.end(), ':') == 1) {
        const size_t colon = address.find(':');
        host = address.substr(0, colon);
        port = address.substr(colon + 1);
        if (host.empty() || port.empty())
            return false;
    }
    // The default port meets the same rule as a written one.
    int p = 0;
    if (!parsePort(port.empty() ? std::to_string(defaultPort) : port, p))
        return false;
    out = {host, p};
    return true;
}

Credentials credentialsFor(const std::string &text, const std::string &address, const std::string &host)
{
    Credentials byAddress, byHost;
    bool haveAddress = false;
    Credentials *current = nullptr;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        line = trim(line.substr(0, line.find('#')));
        if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
            const std::string name = line.substr(1, line.size() - 2);
            current = name == address ? (haveAddress = true, &byAddress) : name == host ? &byHost : nullptr;
            continue;
        }
        const size_t eq = line.find('=');
        if (!current || eq == std::string::npos)
            continue;
        const std::string key = trim(line.substr(0, eq)), value = trim(line.substr(eq + 1));
        if (key == "tls")
            current->tls = parseSwitch(value).value_or(false);
        else if (key == "ca")
            current->ca = value;
        else if (key == "cert")
            current->cert = value;
        else if (key == "key")
            current->key = value;
        else if (key == "token")
            current->token = value;
    }
    return haveAddress ? byAddress : byHost;
}

int32_t connectAgent(const std::string &address, int32_t port, const Settings &settings, std::unique_ptr<Backend> &out)
{
    Endpoint endpoint;
    if (!parseAddress(address, port, endpoint))
        return fail(HALVO_CLASS_CONNECTION, kUnknownAddress);
    if (!destinationAllowed(endpoint.host))
        return fail(HALVO_CLASS_CONNECTION, kUnknownAddress);
    std::string conf;
    if (!remoteConfiguration(conf))
        return fail(HALVO_CLASS_ACCESS, kPermission);
    const Credentials credentials = credentialsFor(conf, address, endpoint.host);

    const int64_t connectMs = settings.remoteConnectTimeoutMs;
    const int64_t callMs = settings.remoteCallTimeoutMs;
    // One for the calls, one for the snapshot fetching thread; null when the
    // certificate or key cannot be used.
    MakeClient makeClient = [endpoint, credentials, connectMs, callMs]() {
        std::unique_ptr<httplib::ClientImpl> client;
        if (credentials.tls || !credentials.cert.empty()) {
            auto tls = credentials.cert.empty() ? std::make_unique<httplib::SSLClient>(endpoint.host, endpoint.port)
                                                : std::make_unique<httplib::SSLClient>(
                                                      endpoint.host, endpoint.port, credentials.cert, credentials.key);
            if (!tls->is_valid())
                return std::unique_ptr<httplib::ClientImpl>();
            if (!credentials.ca.empty())
                tls->set_ca_cert_path(credentials.ca.c_str());
            tls->enable_server_certificate_verification(true);
            client = std::move(tls);
        } else {
            client = std::make_unique<httplib::ClientImpl>(endpoint.host, endpoint.port);
        }
        client->set_connection_timeout(connectMs / 1000, (connectMs % 1000) * 1000);
        client->set_read_timeout(callMs / 1000, (callMs % 1000) * 1000);
        client->set_write_timeout(callMs / 1000, (callMs % 1000) * 1000);
        client->set_keep_alive(true);
        // Without it a small request waits for the peer's delayed ACK (~40 ms).
        client->set_tcp_nodelay(true);
        return client;
    };

    std::unique_ptr<httplib::ClientImpl> client = makeClient();
    if (!client)
        return fail(HALVO_CLASS_ACCESS, kPermission);
    auto backend = std::make_unique<NetBackend>(std::move(client), std::move(makeClient), credentials.token,
                                                settings.remoteSnapshotMs, connectMs + callMs);
    if (const int32_t status = backend->hello(); status != HALVO_STATUS_OK)
        return status;
    out = std::move(backend);
    return HALVO_STATUS_OK;
}

} // namespace halvo::net
