#include "agent.h"
#include "exchange.h"

#include "libhalvo/remote/service.h"
#include "libhalvo/text.h"
#include "metrics.h"

#include <openssl/crypto.h>
#include <openssl/x509.h>

#include <arpa/inet.h>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <optional>
#include <sstream>
#include <strings.h>
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

bool sameLetters(const std::string &a, const char *b)
{
    return ::strcasecmp(a.c_str(), b) == 0;
}

Answer refuse(int status, const std::string &why)
{
    Answer a;
    a.status = status;
    a.body = Json{{"error", why}}.dump();
    a.close = true;
    return a;
}

std::string dump(const Json &body)
{
    return body.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// A path's %XX escapes decoded; false on a malformed one or an encoded NUL.
bool decodePath(std::string &path)
{
    std::string out;
    out.reserve(path.size());
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] != '%') {
            out += path[i];
            continue;
        }
        if (i + 2 >= path.size() || !std::isxdigit(static_cast<unsigned char>(path[i + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(path[i + 2])))
            return false;
        const char c = static_cast<char>(std::stoi(path.substr(i + 1, 2), nullptr, 16));
        if (c == '\0')
            return false;
        out += c;
        i += 2;
    }
    path = std::move(out);
    return !path.empty() && path[0] == '/';
}

} // namespace

const std::string *field(const Fields &fields, const char *name, size_t *count)
{
    const std::string *found = nullptr;
    size_t n = 0;
    for (const auto &[key, value] : fields)
        if (sameLetters(key, name) && ++n == 1)
            found = &value;
    if (count)
        *count = n;
    return found;
}

std::string escapeForLog(const std::string &text)
{
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7f && c != '\\') {
            out += c;
        } else {
            out += "\\x";
            out += hex[u >> 4];
            out += hex[u & 15];
        }
    }
    return out;
}

Agent::Agent(const Options &options, std::map<std::string, Token> tokens)
    : options_(options), tokens_(std::move(tokens))
{
}

std::optional<Answer> Agent::admit(const Head &head, Admitted &a) const
{
    if (head.fields.size() > kMaxHeaderLines)
        return refuse(431, "more than " + std::to_string(kMaxHeaderLines) + " header lines");
    // A request without the header (curl, a scraper) is taken as the
    // current version; one naming another version is refused.
    size_t versions = 0;
    const std::string *version = field(head.fields, remote::kProtocolHeader, &versions);
    if (versions > 1)
        return refuse(400, std::string("one ") + remote::kProtocolHeader + " header only");
    if (version && *version != std::to_string(remote::kProtocolVersion))
        return refuse(426, "protocol version " + std::to_string(remote::kProtocolVersion) + " only");
    const std::optional<Caller> caller = authenticate(head);
    if (!caller) {
        Answer refused = refuse(401, "authentication required");
        refused.headers.emplace_back("WWW-Authenticate", "Bearer");
        return refused;
    }
    a = Admitted{};
    a.caller = *caller;
    const size_t mark = head.target.find('?');
    a.path = head.target.substr(0, mark);
    a.query = mark == std::string::npos ? "" : head.target.substr(mark + 1);
    if (!decodePath(a.path))
        return refuse(400, "malformed path");
    a.head = head.method == "HEAD";
    a.method = a.head ? "GET" : head.method;

    // The call, its method and the caller's role, before any body is read.
    if (a.path == "/metrics" || a.path == "/v1/session") {
        if (a.method != "GET") {
            Answer refused = refuse(405, "not with " + head.method);
            refused.headers.emplace_back("Allow", "GET, HEAD");
            return refused;
        }
    } else {
        const remote::Route route = remote::Service::route(a.method, a.path);
        if (!route.allow.empty()) {
            Answer refused = refuse(405, "not with " + head.method);
            refused.headers.emplace_back("Allow", route.allow);
            return refused;
        }
        if (!route.row && !route.snapshot)
            return refuse(404, "no such call");
        if (route.row && route.row->role() == Role::Control && a.caller.role != Role::Control) {
            log(a.caller, a, route.row->name, 403, 0);
            return refuse(403, "the monitor role may only read");
        }
    }

    // The body's framing: plain bytes, within the bound.
    if (const std::string *coding = field(head.fields, "Content-Encoding"); coding && !sameLetters(*coding, "identity"))
        return refuse(415, "no content coding is accepted");
    if (const std::string *transfer = field(head.fields, "Transfer-Encoding");
        transfer && !sameLetters(*transfer, "chunked"))
        return refuse(415, "no transfer coding but chunked is accepted");
    if (const std::string *length = field(head.fields, "Content-Length");
        length && std::strtoull(length->c_str(), nullptr, 10) > kMaxBodyBytes)
        return refuse(413, "body too large");
    const std::string *expect = field(head.fields, "Expect");
    a.expectContinue = expect && sameLetters(*expect, "100-continue");
    const std::string *then = field(head.fields, remote::kSnapshotAfterHeader);
    a.snapshotAfter = then && sameLetters(*then, "after");
    return std::nullopt;
}

Answer Agent::respond(const Admitted &a, std::string body) const
{
    Answer out;
    try {
        // For scrapers: any authenticated caller, the monitor role included.
        if (a.path == "/metrics") {
            out.contentType = "text/plain; version=0.0.4; charset=utf-8";
            out.body = metricsText(0);
        } else if (a.path == "/v1/session") {
            out.body = dump({{"protocol", remote::kProtocolVersion}, {"role", roleName(a.caller.role)}});
        } else {
            const remote::Reply r =
                service_.handle({a.method, a.path, a.query, std::move(body), a.caller.role, a.snapshotAfter});
            if (r.row && r.row->role() == Role::Control)
                log(a.caller, a, r.row->name, r.http, r.status);
            out.status = r.http;
            out.body = dump(r.body);
            if (!r.allow.empty())
                out.headers.emplace_back("Allow", r.allow);
        }
    } catch (...) {
        out = refuse(500, "internal error");
    }
    return out;
}

std::optional<Caller> Agent::authenticate(const Head &head) const
{
    size_t given = 0;
    const std::string *authorization = field(head.fields, "Authorization", &given);
    if (given > 1)
        return std::nullopt;
    if (authorization) {
        // The scheme's name is case-insensitive; one or more spaces follow.
        const std::string &value = *authorization;
        if (value.size() < 7 || !sameLetters(value.substr(0, 6), "bearer") || value[6] != ' ')
            return std::nullopt;
        const std::string presented = value.substr(
            value.find_first_not_of(' ', 6) == std::string::npos ? value.size() : value.find_first_not_of(' ', 6));
        // Every token compared in constant time, so that the answer's
        // timing tells nothing of how much of a token matched.
        std::optional<Caller> found;
        for (const auto &[token, entry] : tokens_)
            if (token.size() == presented.size() && CRYPTO_memcmp(token.data(), presented.data(), token.size()) == 0)
                found = Caller{entry.role, "token " + entry.name};
        return found;
    }
    if (!head.certificate.empty())
        return Caller{options_.certificateRole, "certificate " + head.certificate};
    if (tokens_.empty() && options_.clientCa.empty())
        return Caller{Role::Control, "peer " + head.peer};
    return std::nullopt;
}

void Agent::log(const Caller &caller, const Admitted &request, const char *call, int http, int32_t status) const
{
    // One line per call, whatever the request held: its text escaped, its
    // body never written (it may hold anything, a pasted token included).
    const std::string target = request.path + (request.query.empty() ? "" : "?" + request.query);
    std::fprintf(stderr, "halvo-agent: %s (%s): %s %s -> %s %d\n", escapeForLog(caller.who).c_str(),
                 roleName(caller.role), call, escapeForLog(target).c_str(), http == 200 ? "status" : "refused",
                 http == 200 ? status : http);
}

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

bool readTokens(const Options &options, std::map<std::string, Token> &tokens, std::string &error)
{
    if (options.tokensFile.empty())
        return true;
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
