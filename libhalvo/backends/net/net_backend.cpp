#include "net_backend.h"

#include "../../remote/remote_board.h"
#include "../../status.h"
#include "../../text.h"
#include "../destination.h"

#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>

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

class NetBackend final : public remote::RemoteBoard, public remote::Exchange
{
public:
    NetBackend(std::unique_ptr<httplib::ClientImpl> client, std::string token, int64_t snapshotMs)
        : RemoteBoard(static_cast<remote::Exchange &>(*this)), client_(std::move(client)), token_(std::move(token)),
          snapshotMs_(snapshotMs)
    {
    }

    // The session check at connection: protocol version and credentials.
    int32_t hello()
    {
        Json body;
        return send("GET", "/v1/session", "", body);
    }

    int32_t exchange(const Row &row, const Json &in, Json &out) override
    {
        const bool read = row.role() == remote::Role::Monitor;
        if (!read) {
            // Whatever this changes, the snapshot no longer shows.
            snapshot_ = nullptr;
        } else if (snapshotMs_ > 0) {
            int32_t status, fetched = HALVO_STATUS_OK;
            if (const Json *entry = fromSnapshot(row, in, fetched); entry && answer(in, *entry, out, status))
                return status;
            // An agent that left the snapshot unanswered would leave the read
            // unanswered too: one wait of the call limit, not two.
            if (HALVO_ERROR_CLASS(fetched) == HALVO_CLASS_CONNECTION)
                return fetched;
        }
        std::string body;
        const std::string target = remote::requestTarget(row, in, body);
        Json reply;
        const int32_t status = send(row.method, target, body, reply);
        return status == HALVO_STATUS_OK ? remote::replyStatus(reply, out) : status;
    }

private:
    using Clock = std::chrono::steady_clock;

    // One HTTP exchange; `reply` is the answer's JSON on 200.
    int32_t send(const std::string &method, const std::string &target, const std::string &body, Json &reply)
    {
        httplib::Request request;
        request.method = method;
        request.path = target;
        request.headers.emplace(remote::kProtocolHeader, std::to_string(remote::kProtocolVersion));
        if (!token_.empty())
            request.headers.emplace("Authorization", "Bearer " + token_);
        if (method != "GET") {
            request.body = body;
            request.headers.emplace("Content-Type", "application/json");
        }
        const httplib::Result result = client_->send(request);
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

    // The snapshot's entry for this read, fetching a new snapshot when the
    // last one is older than the window; nullptr when the read is not one or
    // the fetch failed (`fetched` then holds why).
    const Json *fromSnapshot(const Row &row, const Json &in, int32_t &fetched)
    {
        const Json *entry = find(row, in);
        const bool fresh = !snapshot_.is_null() && Clock::now() - fetched_ < std::chrono::milliseconds(snapshotMs_);
        if (fresh || !periodic(row, in))
            return fresh ? entry : nullptr;
        Json reply;
        snapshot_ = nullptr;
        fetched = send("GET", "/v1/snapshot", "", reply);
        if (fetched != HALVO_STATUS_OK || !reply.contains("reads") || !reply["reads"].is_array())
            return nullptr; // the read itself then says what went wrong
        snapshot_ = std::move(reply);
        fetched_ = Clock::now();
        return find(row, in);
    }

    static bool sameInputs(const Json &entry, const Json &in)
    {
        for (const auto &[name, value] : in.items())
            if (name != "count" && (!entry.contains(name) || entry[name] != value))
                return false;
        return true;
    }

    static bool periodic(const Row &row, const Json &in)
    {
        for (const remote::PeriodicRead &p : remote::periodicReads()) {
            if (row.name != std::string(p.name))
                continue;
            Json want = Json::object();
            for (const auto &[name, value] : p.inputs)
                want[name] = value;
            if (sameInputs(want, in))
                return true;
        }
        return false;
    }

    const Json *find(const Row &row, const Json &in) const
    {
        const auto reads = snapshot_.is_object() ? snapshot_.find("reads") : snapshot_.end();
        if (reads == snapshot_.end() || !reads->is_array())
            return nullptr;
        for (const Json &entry : *reads)
            if (entry.is_object() && entry.value("name", "") == row.name && entry.contains("in") &&
                sameInputs(entry["in"], in))
                return &entry;
        return nullptr;
    }

    // A read answered from the snapshot as the agent answered it; false when
    // a list read asks for another count than the snapshot's list holds (the
    // read then goes to the agent).
    static bool answer(const Json &in, const Json &entry, Json &out, int32_t &status)
    {
        if (!entry.contains("status") || !entry["status"].is_number_integer() || !entry.contains("out") ||
            !entry["out"].is_object())
            return false;
        const Json &o = entry["out"];
        if (in.contains("count") &&
            (!o.contains("list") || !o["list"].is_array() || Json(o["list"].size()) != in["count"]))
            return false;
        status = entry["status"].get<int32_t>();
        out = o;
        return true;
    }

    std::unique_ptr<httplib::ClientImpl> client_;
    std::string token_;
    int64_t snapshotMs_;
    Json snapshot_;
    Clock::time_point fetched_;
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

    std::unique_ptr<httplib::ClientImpl> client;
    if (credentials.tls || !credentials.cert.empty()) {
        auto tls = credentials.cert.empty() ? std::make_unique<httplib::SSLClient>(endpoint.host, endpoint.port)
                                            : std::make_unique<httplib::SSLClient>(endpoint.host, endpoint.port,
                                                                                   credentials.cert, credentials.key);
        if (!tls->is_valid())
            return fail(HALVO_CLASS_ACCESS, kPermission);
        if (!credentials.ca.empty())
            tls->set_ca_cert_path(credentials.ca.c_str());
        tls->enable_server_certificate_verification(true);
        client = std::move(tls);
    } else {
        client = std::make_unique<httplib::ClientImpl>(endpoint.host, endpoint.port);
    }
    const int64_t connectMs = settings.remoteConnectTimeoutMs;
    const int64_t callMs = settings.remoteCallTimeoutMs;
    client->set_connection_timeout(connectMs / 1000, (connectMs % 1000) * 1000);
    client->set_read_timeout(callMs / 1000, (callMs % 1000) * 1000);
    client->set_write_timeout(callMs / 1000, (callMs % 1000) * 1000);
    client->set_keep_alive(true);
    // Without it a small request waits for the peer's delayed ACK (~40 ms).
    client->set_tcp_nodelay(true);

    auto backend = std::make_unique<NetBackend>(std::move(client), credentials.token, settings.remoteSnapshotMs);
    if (const int32_t status = backend->hello(); status != HALVO_STATUS_OK)
        return status;
    out = std::move(backend);
    return HALVO_STATUS_OK;
}

} // namespace halvo::net
