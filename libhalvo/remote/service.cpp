#include "service.h"

#include "adapt.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>

namespace halvo::remote
{

namespace
{

using Serve = int32_t (*)(const Row &, int32_t, const Json &, Json &);

#define HALVO_REMOTE_SERVE(F, ...)                                                                                     \
    [](const Row &row, int32_t handle, const Json &in, Json &out) {                                                    \
        return Adapter<&F>::serve(&F, row, handle, in, out);                                                           \
    },
const Serve kServe[] = {HALVO_CALLS(HALVO_REMOTE_SERVE, &)};
#undef HALVO_REMOTE_SERVE

Serve serveOf(const Row &row)
{
    const size_t i = static_cast<size_t>(&row - rows().data());
    static_assert(sizeof kServe / sizeof *kServe > 0);
    return i < sizeof kServe / sizeof *kServe ? kServe[i] : nullptr;
}

Reply error(int http, const std::string &why)
{
    Reply r;
    r.http = http;
    r.body = {{"error", why}};
    return r;
}

std::vector<std::string> split(const std::string &path)
{
    std::vector<std::string> parts;
    size_t at = 1;
    while (at <= path.size()) {
        const size_t slash = std::min(path.find('/', at), path.size());
        parts.push_back(path.substr(at, slash - at));
        at = slash + 1;
    }
    return parts;
}

// A decimal integer as a path segment or query value carries it: at most 11
// characters, an optional minus sign.
bool integer(const std::string &text, Json &out)
{
    const size_t digits = text.size() - (!text.empty() && text[0] == '-');
    if (digits == 0 || digits > 10 || text.find_first_not_of("0123456789", text.size() - digits) != std::string::npos)
        return false;
    out = std::strtoll(text.c_str(), nullptr, 10);
    return true;
}

bool known(const Row &row, const std::string &name)
{
    return std::find(row.params.begin(), row.params.end(), name) != row.params.end();
}

// The path's inputs when `path` has the shape of `pattern`.
bool matches(const std::vector<std::string> &parts, const char *pattern, Json &found)
{
    const std::vector<std::string> want = split(pattern);
    if (want.size() != parts.size())
        return false;
    found = Json::object();
    for (size_t i = 0; i < want.size(); ++i) {
        if (want[i].size() > 2 && want[i].front() == '{') {
            Json v;
            if (!integer(parts[i], v))
                return false;
            found[want[i].substr(1, want[i].size() - 2)] = v;
        } else if (want[i] != parts[i]) {
            return false;
        }
    }
    return true;
}

// A JSON object whose keys are each given once: nlohmann keeps the last of a
// repeated key, and a body naming an input twice is refused instead.
bool parseObject(const std::string &text, Json &out)
{
    std::set<std::string> keys;
    bool repeated = false;
    out = Json::parse(
        text,
        [&](int depth, Json::parse_event_t event, Json &parsed) {
            if (event == Json::parse_event_t::key && depth == 1 && !keys.insert(parsed.get<std::string>()).second)
                repeated = true;
            return true;
        },
        false);
    return !repeated && out.is_object();
}

// Adds the query's or body's inputs; false with `why` on anything unknown,
// repeated or malformed.
bool addInputs(const Row &row, const Request &request, Json &in, std::string &why)
{
    auto add = [&](const std::string &name, Json value) {
        if (!known(row, name) || in.contains(name)) {
            why = "unknown or repeated input " + name;
            return false;
        }
        in[name] = std::move(value);
        return true;
    };
    if (!request.query.empty()) {
        size_t at = 0;
        while (at <= request.query.size()) {
            const size_t amp = std::min(request.query.find('&', at), request.query.size());
            const std::string pair = request.query.substr(at, amp - at);
            const size_t eq = pair.find('=');
            Json v;
            if (eq == std::string::npos || !integer(pair.substr(eq + 1), v)) {
                why = "query: not name=integer";
                return false;
            }
            if (!add(pair.substr(0, eq), v))
                return false;
            at = amp + 1;
        }
    }
    if (request.body.empty())
        return true;
    if (request.method == "GET") {
        why = "a GET carries no body";
        return false;
    }
    Json body;
    if (!parseObject(request.body, body)) {
        why = "body: not a JSON object with each input once";
        return false;
    }
    // Moved, never copied: copying a value recurses once per nesting level,
    // and a 256 KiB body of brackets overflows the stack that way.
    for (auto &&item : body.items())
        if (!add(item.key(), std::move(item.value())))
            return false;
    return true;
}

} // namespace

Reply Service::call(const Row &row, const Json &in) const
{
    Reply reply;
    reply.row = &row;
    Json out = Json::object();
    try {
        reply.status = serveOf(row)(row, handle_, in, out);
    } catch (const std::exception &e) {
        reply = error(400, e.what());
        reply.row = &row;
        return reply;
    }
    reply.body = {{"status", reply.status}, {"out", std::move(out)}};
    return reply;
}

Route Service::route(const std::string &method, const std::string &path, Json *in)
{
    const std::string verb = method == "HEAD" ? "GET" : method;
    const std::vector<std::string> parts = split(path);
    Route route;
    if (path == "/v1/snapshot" || path == "/v1/description") {
        route.snapshot = verb == "GET";
        route.description = route.snapshot && path == "/v1/description";
        route.allow = route.snapshot ? "" : "GET, HEAD";
        return route;
    }
    Json found;
    std::string allow;
    for (const Row &row : rows()) {
        if (!matches(parts, row.path, found))
            continue;
        if (verb == row.method) {
            if (in)
                *in = std::move(found);
            route.row = &row;
            return route;
        }
        allow += std::string(allow.empty() ? "" : ", ") + row.method + (row.role() == Role::Monitor ? ", HEAD" : "");
    }
    route.allow = allow;
    return route;
}

Reply Service::handle(const Request &request) const
{
    try {
        if (request.body.size() > kMaxBody)
            return error(413, "body too large");
        Json in;
        const Route to = route(request.method, request.path, &in);
        if (to.snapshot) {
            if (!request.query.empty() || !request.body.empty())
                return error(400, "the snapshot takes no inputs");
            Reply r;
            r.body = snapshot(to.description);
            return r;
        }
        if (!to.allow.empty()) {
            Reply r = error(405, "not with " + request.method);
            r.allow = to.allow;
            return r;
        }
        const Row *row = to.row;
        if (!row)
            return error(404, "no such call");
        // A refused call still names its row, so that the agent logs it.
        Reply refused;
        std::string why;
        if (row->role() == Role::Control && request.role != Role::Control)
            refused = error(403, "the monitor role may only read");
        else if (!addInputs(*row, request, in, why))
            refused = error(400, why);
        else {
            Reply r = call(*row, in);
            // Taken after the write, so it shows what the write changed.
            if (request.snapshotAfter && row->role() == Role::Control && r.http == 200)
                r.body["snapshot"] = snapshot();
            return r;
        }
        refused.row = row;
        return refused;
    } catch (...) {
        return error(500, "internal error");
    }
}

Json Service::snapshot(bool description) const
{
    Json reads = Json::array();
    // What each count read gave, for the lists and `each` reads after it.
    std::map<std::string, std::pair<int32_t, int32_t>> counts;
    int32_t lastCount = 0;
    int32_t lastCountStatus = HALVO_STATUS_OK;
    auto read = [&](const PeriodicRead &p, const Row &row, Json in) {
        const bool list = known(row, "list");
        Json entry = {{"name", p.name}, {"in", in}};
        if (list && (!succeeded(lastCountStatus) || lastCount <= 0)) {
            // The window makes no list call then; the entry says what the count said.
            entry["status"] = succeeded(lastCountStatus) ? HALVO_STATUS_OK : lastCountStatus;
            entry["out"] = {{"list", Json::array()}};
        } else {
            if (list)
                in["count"] = std::min(lastCount, kMaxListCount);
            const Reply r = call(row, in);
            if (r.http != 200)
                return;
            entry["status"] = r.status;
            entry["out"] = r.body["out"];
            // A count read sizes the list read after it.
            if (known(row, "count") && !list) {
                lastCountStatus = r.status;
                lastCount = succeeded(r.status) ? r.body["out"].value("count", 0) : 0;
                counts[p.name] = {lastCountStatus, lastCount};
            }
        }
        reads.push_back(std::move(entry));
    };
    std::vector<PeriodicRead> all = description ? descriptionReads() : std::vector<PeriodicRead>{};
    all.insert(all.end(), periodicReads().begin(), periodicReads().end());
    for (const PeriodicRead &p : all) {
        const Row *row = findRow(p.name);
        if (!row)
            continue;
        Json in = Json::object();
        for (const auto &[name, value] : p.inputs)
            in[name] = value;
        if (!p.each) {
            read(p, *row, in);
            continue;
        }
        // Once per index the count gave; none when it failed.
        const auto count = counts.find(p.countOf);
        const int32_t n = count == counts.end() || !succeeded(count->second.first) ? 0 : count->second.second;
        for (int32_t i = 0; i < std::min(n, kMaxEach); ++i) {
            in[p.each] = i;
            read(p, *row, in);
        }
    }
    return {{"reads", std::move(reads)}};
}

} // namespace halvo::remote
