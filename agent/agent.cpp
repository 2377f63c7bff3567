#include "agent.h"

#include "libhalvo/remote/service.h"
#include "libhalvo/text.h"
#include "metrics.h"

#include <httplib.h>
#include <openssl/crypto.h>
#include <openssl/x509.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

namespace halvo::agent
{

using remote::Json;
using remote::Role;

namespace
{

const char *roleName(Role role)
{
    return role == Role::Control ? "control" : "monitor";
}

struct Caller {
    Role role;
    std::string who;
};

class Agent
{
public:
    Agent(const Options &options, std::map<std::string, Token> tokens) : options_(options), tokens_(std::move(tokens))
    {
    }

    void handle(const httplib::Request &req, httplib::Response &res)
    {
        res.set_header(remote::kProtocolHeader, std::to_string(remote::kProtocolVersion));
        // A request without the header (curl, a scraper) is taken as the
        // current version; one naming another version is refused.
        const std::string version = req.get_header_value(remote::kProtocolHeader);
        if (!version.empty() && version != std::to_string(remote::kProtocolVersion))
            return reply(res, 426,
                         {{"error", "protocol version " + std::to_string(remote::kProtocolVersion) + " only"}});
        const std::optional<Caller> caller = authenticate(req);
        if (!caller)
            return reply(res, 401, {{"error", "authentication required"}});
        // For scrapers: any authenticated caller, the monitor role included.
        if (req.method == "GET" && req.path == "/metrics") {
            res.status = 200;
            res.set_content(metricsText(0), "text/plain; version=0.0.4; charset=utf-8");
            return;
        }
        if (req.method == "GET" && req.path == "/v1/session")
            return reply(res, 200, {{"protocol", remote::kProtocolVersion}, {"role", roleName(caller->role)}});

        // The raw query: httplib would also mix a form body into its params.
        const size_t mark = req.target.find('?');
        remote::Request request{req.method, req.path, mark == std::string::npos ? "" : req.target.substr(mark + 1),
                                req.body, caller->role};
        const remote::Reply r = service_.handle(request);
        if (r.row && r.row->role() == Role::Control)
            log(*caller, request, r);
        reply(res, r.http, r.body);
    }

private:
    static void reply(httplib::Response &res, int status, const Json &body)
    {
        res.status = status;
        res.set_content(body.dump(-1, ' ', false, Json::error_handler_t::replace), "application/json");
    }

    std::optional<Caller> authenticate(const httplib::Request &req) const
    {
        const std::string authorization = req.get_header_value("Authorization");
        if (!authorization.empty()) {
            const std::string prefix = "Bearer ";
            if (authorization.compare(0, prefix.size(), prefix) != 0)
                return std::nullopt;
            const std::string presented = authorization.substr(prefix.size());
            // Every token compared in constant time, so that the answer's
            // timing tells nothing of how much of a token matched.
            std::optional<Caller> found;
            for (const auto &[token, entry] : tokens_)
                if (token.size() == presented.size() &&
                    CRYPTO_memcmp(token.data(), presented.data(), token.size()) == 0)
                    found = Caller{entry.role, "token " + entry.name};
            return found;
        }
        if (const std::string subject = certificateSubject(req); !subject.empty())
            return Caller{options_.certificateRole, "certificate " + subject};
        if (tokens_.empty() && options_.clientCa.empty())
            return Caller{Role::Control, "peer " + req.remote_addr};
        return std::nullopt;
    }

    static std::string certificateSubject(const httplib::Request &req)
    {
        if (!req.ssl)
            return "";
        X509 *cert = SSL_get_peer_certificate(req.ssl);
        if (!cert)
            return "";
        char name[256] = {};
        X509_NAME_get_text_by_NID(X509_get_subject_name(cert), NID_commonName, name, sizeof name - 1);
        X509_free(cert);
        return name[0] ? name : "(no common name)";
    }

    void log(const Caller &caller, const remote::Request &request, const remote::Reply &r)
    {
        std::lock_guard<std::mutex> lock(logMutex_);
        std::fprintf(stderr, "halvo-agent: %s (%s): %s %s%s%s -> %s %d\n", caller.who.c_str(), roleName(caller.role),
                     r.row->name, request.path.c_str(), request.body.empty() ? "" : " ",
                     request.body.substr(0, 200).c_str(), r.http == 200 ? "status" : "refused",
                     r.http == 200 ? r.status : r.http);
    }

    const Options &options_;
    std::map<std::string, Token> tokens_;
    remote::Service service_;
    std::mutex logMutex_;
};

} // namespace

bool isLoopbackAddress(const std::string &address)
{
    in_addr v4{};
    in6_addr v6{};
    if (::inet_pton(AF_INET, address.c_str(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    return ::inet_pton(AF_INET6, address.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

bool parseOptions(const std::vector<std::string> &args, Options &options, std::string &error)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        auto value = [&](std::string &out) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--bind") {
            if (!value(options.bind))
                return false;
        } else if (a == "--port") {
            if (!value(v))
                return false;
            // 0: any free port, which the agent then prints.
            if (!parsePort(v, options.port, true)) {
                error = "--port: not a port number";
                return false;
            }
        } else if (a == "--tls-cert") {
            if (!value(options.tlsCert))
                return false;
        } else if (a == "--tls-key") {
            if (!value(options.tlsKey))
                return false;
        } else if (a == "--client-ca") {
            if (!value(options.clientCa))
                return false;
        } else if (a == "--tokens") {
            if (!value(options.tokensFile))
                return false;
        } else if (a == "--certificate-role") {
            if (!value(v))
                return false;
            if (v != "monitor" && v != "control") {
                error = "--certificate-role: monitor or control";
                return false;
            }
            options.certificateRole = v == "control" ? Role::Control : Role::Monitor;
        } else {
            error = "unknown option " + a;
            return false;
        }
    }
    return true;
}

bool parseTokens(const std::string &text, std::map<std::string, Token> &tokens, std::string &error)
{
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        line = line.substr(0, line.find('#'));
        std::istringstream fields(line);
        std::string role, token, name;
        if (!(fields >> role))
            continue;
        fields >> token >> name;
        if ((role != "control" && role != "monitor") || token.size() < 16) {
            error = "tokens line " + std::to_string(number) + ": not \"control|monitor <token of 16 or more> [name]\"";
            return false;
        }
        tokens[token] = {role == "control" ? Role::Control : Role::Monitor,
                         name.empty() ? "#" + std::to_string(number) : name};
    }
    return true;
}

bool checkSecurity(const Options &options, std::string &error)
{
    if (options.tlsCert.empty() != options.tlsKey.empty()) {
        error = "--tls-cert and --tls-key go together";
        return false;
    }
    if (!options.clientCa.empty() && options.tlsCert.empty()) {
        error = "--client-ca needs TLS (--tls-cert and --tls-key)";
        return false;
    }
    if (!isLoopbackAddress(options.bind)) {
        if (options.tlsCert.empty()) {
            error = "binding " + options.bind + " needs TLS: give --tls-cert and --tls-key";
            return false;
        }
        if (options.clientCa.empty() && options.tokensFile.empty()) {
            error = "binding " + options.bind + " needs client authentication: give --client-ca or --tokens";
            return false;
        }
    }
    return true;
}

struct Server::Impl {
    Options options;
    std::unique_ptr<Agent> agent;
    std::unique_ptr<httplib::Server> http;
    int port = 0;
};

Server::Server() : impl_(std::make_unique<Impl>()) {}

Server::~Server()
{
    stop();
}

bool Server::start(const Options &options, std::string &error)
{
    Impl &d = *impl_;
    d.options = options;
    if (!checkSecurity(options, error))
        return false;
    std::map<std::string, Token> tokens;
    if (!options.tokensFile.empty()) {
        std::string text;
        const PrivateFile read = readPrivateFile(options.tokensFile, text, error);
        if (read == PrivateFile::Missing)
            error = options.tokensFile + ": no such file";
        if (read != PrivateFile::Read || !parseTokens(text, tokens, error))
            return false;
        if (tokens.empty()) {
            error = options.tokensFile + " holds no token";
            return false;
        }
    }
    if (!options.tlsCert.empty()) {
        auto tls = std::make_unique<httplib::SSLServer>(options.tlsCert.c_str(), options.tlsKey.c_str(),
                                                        options.clientCa.empty() ? nullptr : options.clientCa.c_str());
        if (!tls->is_valid()) {
            error = "the certificate, key or client CA cannot be used";
            return false;
        }
        d.http = std::move(tls);
    } else {
        d.http = std::make_unique<httplib::Server>();
    }
    d.agent = std::make_unique<Agent>(d.options, std::move(tokens));
    Agent *agent = d.agent.get();
    const auto handler = [agent](const httplib::Request &req, httplib::Response &res) { agent->handle(req, res); };
    d.http->Get(".*", handler);
    d.http->Put(".*", handler);
    d.http->Post(".*", handler);
    // Without it a small answer waits for the client's delayed ACK (~40 ms).
    d.http->set_tcp_nodelay(true);
    d.http->set_keep_alive_max_count(1000000);
    // An idle client is dropped after 5 s (it reconnects at its next call), so
    // that stopping the agent never waits long for idle connections.
    d.http->set_keep_alive_timeout(5);
    d.http->set_read_timeout(10);
    d.http->set_write_timeout(10);
    d.http->set_payload_max_length(remote::kMaxBody);
    d.port = options.port;
    const bool bound = d.port == 0 ? (d.port = d.http->bind_to_any_port(options.bind)) > 0
                                   : d.http->bind_to_port(options.bind, d.port);
    if (!bound) {
        error = "cannot listen on " + options.bind + " port " + std::to_string(options.port);
        d.http.reset();
        return false;
    }
    return true;
}

int Server::port() const
{
    return impl_->port;
}

bool Server::serve()
{
    return impl_->http && impl_->http->listen_after_bind();
}

void Server::stop()
{
    if (impl_->http)
        impl_->http->stop();
}

int run(const Options &options)
{
    Server server;
    std::string error;
    if (!server.start(options, error)) {
        std::fprintf(stderr, "halvo-agent: refusing to start: %s\n", error.c_str());
        return 2;
    }
    const bool v6 = options.bind.find(':') != std::string::npos;
    std::printf("halvo-agent: listening on %s%s%s:%d (%s)\n", v6 ? "[" : "", options.bind.c_str(), v6 ? "]" : "",
                server.port(), options.tlsCert.empty() ? "http" : "https");
    std::fflush(stdout);

    // SIGINT and SIGTERM end the agent; they are taken by this thread only.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    std::thread waiter([&] {
        int signal = 0;
        sigwait(&stop, &signal);
        server.stop();
    });
    const bool served = server.serve();
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
    return served ? 0 : 1;
}

} // namespace halvo::agent
