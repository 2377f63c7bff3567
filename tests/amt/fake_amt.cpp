#include "fake_amt.h"
#include "libhalvo/backends/amt/xml.h"

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

namespace halvo::fake
{
namespace
{

constexpr char kSoapType[] = "application/soap+xml;charset=UTF-8";
constexpr char kFaultAction[] = "http://schemas.dmtf.org/wbem/wsman/1/wsman/fault";
// The one power management service and the host it manages.
const std::map<std::string, std::string> kService = {{"CreationClassName", "CIM_PowerManagementService"},
                                                     {"Name", "Intel(r) AMT Power Management Service"},
                                                     {"SystemCreationClassName", "CIM_ComputerSystem"},
                                                     {"SystemName", "Intel(r) AMT"}};
const std::map<std::string, std::string> kHost = {{"CreationClassName", "CIM_ComputerSystem"},
                                                  {"Name", "ManagedSystem"}};

// ---- reading ----

using xml::child;
using xml::Doc;
using xml::is;
using xml::text;

std::map<std::string, std::string> selectorsOf(const xmlNode *set)
{
    std::map<std::string, std::string> out;
    for (const xmlNode *c = set ? set->children : nullptr; c; c = c->next) {
        if (!is(c, ns::wsman, "Selector"))
            continue;
        xmlChar *name = xmlGetProp(c, reinterpret_cast<const xmlChar *>("Name"));
        out[name ? reinterpret_cast<const char *>(name) : ""] = text(c);
        xmlFree(name);
    }
    return out;
}

const xmlNode *bodyAt(const xmlDoc *doc, const std::string &nsUri, const std::vector<std::string> &path)
{
    const xmlNode *node = child(xmlDocGetRootElement(doc), ns::soap, "Body");
    for (const std::string &local : path)
        node = child(node, nsUri.c_str(), local.c_str());
    return path.empty() ? nullptr : node;
}

// ---- writing ----

// The prefixes of one way of writing an answer; no class prefix makes the
// class namespace the default on the body element.
struct Style {
    const char *env, *wsa, *wsman, *cls;
};
constexpr Style kFirmware{"a", "b", "c", "g"};
constexpr Style kOther{"s", "wsa", "x1", ""};

std::string el(const char *prefix, const std::string &name, const std::string &content,
               const std::string &attributes = "")
{
    const std::string q = *prefix ? prefix + (":" + name) : name;
    return "<" + q + attributes + ">" + content + "</" + q + ">";
}

std::string reference(const Style &st, const std::string &resource, const std::map<std::string, std::string> &sel)
{
    std::string set;
    for (const auto &[name, value] : sel)
        set += el(st.wsman, "Selector", value, " Name=\"" + name + "\"");
    return el(st.wsa, "Address", anonymous) +
           el(st.wsa, "ReferenceParameters", el(st.wsman, "ResourceURI", resource) + el(st.wsman, "SelectorSet", set));
}

std::string envelope(const Style &st, const std::string &action, const std::string &resource,
                     const std::string &relatesTo, const std::string &body)
{
    static unsigned counter = 0;
    char id[64];
    std::snprintf(id, sizeof id, "uuid:00000000-8086-8086-8086-%012u", ++counter);
    std::string declarations = std::string(" xmlns:") + st.env + "=\"" + ns::soap + "\" xmlns:" + st.wsa + "=\"" +
                               ns::addressing + "\" xmlns:" + st.wsman + "=\"" + ns::wsman + "\"";
    if (*st.cls && !resource.empty())
        declarations += std::string(" xmlns:") + st.cls + "=\"" + resource + "\"";
    const std::string header = el(st.wsa, "To", anonymous) + el(st.wsa, "RelatesTo", relatesTo) +
                               el(st.wsa, "Action", action, std::string(" ") + st.env + ":mustUnderstand=\"true\"") +
                               el(st.wsa, "MessageID", id) +
                               (resource.empty() ? "" : el(st.wsman, "ResourceURI", resource));
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" +
           el(st.env, "Envelope", el(st.env, "Header", header) + el(st.env, "Body", body), declarations);
}

// One CIM instance or method output, in its class's namespace.
std::string classAnswer(const Style &st, const std::string &action, const std::string &resource,
                        const std::string &relatesTo, const std::string &name, const std::string &properties)
{
    return envelope(st, action, resource, relatesTo,
                    el(st.cls, name, properties, *st.cls ? "" : " xmlns=\"" + resource + "\""));
}

std::string fault(const Style &st, const std::string &relatesTo, bool sender, const std::string &subcode)
{
    const std::string code = el(st.env, "Value", std::string(st.env) + (sender ? ":Sender" : ":Receiver")) +
                             el(st.env, "Subcode", el(st.env, "Value", std::string(st.wsman) + ":" + subcode));
    return envelope(
        st, kFaultAction, "", relatesTo,
        el(st.env, "Fault",
           el(st.env, "Code", code) + el(st.env, "Reason", el(st.env, "Text", subcode, " xml:lang=\"en-US\""))));
}

// ---- digest ----

std::string md5(const std::string &s)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    if (EVP_Digest(s.data(), s.size(), digest, &size, EVP_md5(), nullptr) != 1)
        std::abort();
    std::string hex;
    for (unsigned i = 0; i < size; ++i) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", digest[i]);
        hex += two;
    }
    return hex;
}

std::string randomHex(size_t bytes)
{
    std::vector<unsigned char> raw(bytes);
    if (RAND_bytes(raw.data(), static_cast<int>(bytes)) != 1)
        std::abort();
    return md5(std::string(raw.begin(), raw.end())).substr(0, 2 * bytes);
}

// The parameters of `Digest name=value, name="quoted"`; empty for another
// scheme or broken syntax.
std::map<std::string, std::string> digestParameters(const std::string &header)
{
    std::map<std::string, std::string> out;
    if (header.compare(0, 7, "Digest ") != 0)
        return out;
    size_t i = 7;
    while (i < header.size()) {
        while (i < header.size() && (header[i] == ' ' || header[i] == ','))
            ++i;
        const size_t eq = header.find('=', i);
        if (eq == std::string::npos)
            break;
        const std::string name = header.substr(i, eq - i);
        std::string value;
        i = eq + 1;
        if (i < header.size() && header[i] == '"') {
            for (++i; i < header.size() && header[i] != '"'; ++i)
                value += header[i] == '\\' && i + 1 < header.size() ? header[++i] : header[i];
            if (i++ >= header.size())
                return {};
        } else {
            const size_t end = std::min(header.find(',', i), header.size());
            value = header.substr(i, end - i);
            i = end;
        }
        out[name] = value;
    }
    return out;
}

} // namespace

struct FakeAmt::Impl {
    explicit Impl(Options o) : options(std::move(o)), powerState(options.powerState), requested(powerState) {}

    enum class Auth { Ok, Refused, Stale };

    // RFC 7616 with qop=auth. Every nonce counts up its nc, so a header
    // sent twice is refused, and an empty response never matches.
    Auth authorize(const httplib::Request &req)
    {
        auto p = digestParameters(req.get_header_value("Authorization"));
        if (stale.count(p["nonce"]))
            return Auth::Stale;
        const auto issued = nonces.find(p["nonce"]);
        if (issued == nonces.end() || p["username"] != options.user || p["realm"] != realm || p["uri"] != req.target ||
            p["qop"] != "auth" || p["cnonce"].empty() || p["response"].empty() || p["nc"].size() != 8 ||
            p["nc"].find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return Auth::Refused;
        const unsigned long nc = std::strtoul(p["nc"].c_str(), nullptr, 16);
        const std::string ha1 = md5(options.user + ":" + realm + ":" + options.password);
        const std::string ha2 = md5(req.method + ":" + p["uri"]);
        if (nc <= issued->second ||
            p["response"] != md5(ha1 + ":" + p["nonce"] + ":" + p["nc"] + ":" + p["cnonce"] + ":auth:" + ha2))
            return Auth::Refused;
        issued->second = nc;
        return Auth::Ok;
    }

    void handle(const httplib::Request &req, httplib::Response &res)
    {
        std::unique_lock<std::mutex> lock(mutex);
        received.push_back({req.get_header_value("Authorization"), req.get_header_value("Content-Type"), req.body});
        if (const Auth auth = options.requireAuth ? authorize(req) : Auth::Ok; auth != Auth::Ok) {
            const std::string nonce = randomHex(16);
            nonces[nonce] = 0;
            ++challenges;
            res.status = 401;
            res.set_header("WWW-Authenticate", "Digest realm=\"" + realm + "\", nonce=\"" + nonce + "\", stale=\"" +
                                                   (auth == Auth::Stale ? "true" : "false") + "\", qop=\"auth\"");
            return;
        }
        if (req.get_header_value("Content-Type").compare(0, 20, "application/soap+xml") != 0) {
            res.status = 415;
            return;
        }
        if (reply == Reply::Silent) {
            wake.wait(lock, [this] { return stopping; });
            res.status = 503;
            return;
        }
        const Style &st = reply == Reply::UnfamiliarPrefixes ? kOther : kFirmware;
        const Envelope request = parseEnvelope(req.body);
        std::string xml;
        if (reply == Reply::SoapFault || reply == Reply::HttpError500) {
            res.status = reply == Reply::SoapFault ? 400 : 500;
            xml = fault(st, request.messageId, reply == Reply::SoapFault,
                        reply == Reply::SoapFault ? "AccessDenied" : "InternalError");
        } else {
            xml = answer(st, request, req.body, res.status);
        }
        if (reply == Reply::MalformedXml)
            xml.resize(xml.size() / 2);
        res.set_content(xml, kSoapType);
    }

    std::string answer(const Style &st, const Envelope &request, const std::string &body, int &status)
    {
        status = 400;
        if (!request.parsed || request.to.empty() || request.messageId.empty())
            return fault(st, request.messageId, true, "InvalidMessageInformationHeader");
        if (request.action == action::get && request.resourceUri == ns::associatedPowerManagementService) {
            if (!request.selectors.empty())
                return fault(st, request.messageId, true, "InvalidSelectors");
            status = 200;
            auto p = [&](const std::string &name, const std::string &value) { return el(st.cls, name, value); };
            std::string properties;
            for (const char *available : {"2", "5", "8", "10"})
                properties += p("AvailableRequestedPowerStates", available);
            properties += p("PowerState", std::to_string(powerState)) +
                          p("RequestedPowerState", std::to_string(requested)) +
                          p("ServiceProvided", reference(st, ns::powerManagementService, kService)) +
                          p("UserOfService", reference(st, ns::computerSystem, kHost));
            return classAnswer(st, std::string(action::get) + "Response", ns::associatedPowerManagementService,
                               request.messageId, "CIM_AssociatedPowerManagementService", properties);
        }
        if (request.action != action::requestPowerStateChange || request.resourceUri != ns::powerManagementService)
            return fault(st, request.messageId, true, "ActionNotSupported");
        for (const auto &[name, value] : request.selectors)
            if (kService.count(name) == 0 || kService.at(name) != value)
                return fault(st, request.messageId, true, "InvalidSelectors");
        const std::string state =
            bodyText(body, ns::powerManagementService, {"RequestPowerStateChange_INPUT", "PowerState"});
        const Reference element = managedElement(body);
        if (state.empty() || state.size() > 5 || state.find_first_not_of("0123456789") != std::string::npos ||
            !element.found)
            return fault(st, request.messageId, true, "InvalidParameter");
        if (element.resourceUri != ns::computerSystem || element.selectors.count("Name") == 0)
            return fault(st, request.messageId, true, "InvalidSelectors");
        for (const auto &[name, value] : element.selectors)
            if (kHost.count(name) == 0 || kHost.at(name) != value)
                return fault(st, request.messageId, true, "InvalidSelectors");
        const int wanted = std::atoi(state.c_str());
        static const std::set<int> known = {2, 5, 6, 7, 8, 9, 10, 12, 13};
        const uint32_t result = known.count(wanted) ? returnValue : 1;
        if (result == 0) {
            requested = wanted;
            // Resets and power cycles come back on.
            powerState = wanted == 5 || wanted == 9 || wanted == 10 ? 2 : wanted;
        }
        status = 200;
        return classAnswer(st, std::string(action::requestPowerStateChange) + "Response", ns::powerManagementService,
                           request.messageId, "RequestPowerStateChange_OUTPUT",
                           el(st.cls, "ReturnValue", std::to_string(result)));
    }

    const Options options;
    const std::string realm = "Digest:" + randomHex(16);
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    int port = 0;

    mutable std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    int powerState, requested;
    uint32_t returnValue = 0;
    Reply reply = Reply::Normal;
    std::map<std::string, unsigned long> nonces; // issued, and the last nc seen
    std::set<std::string> stale;
    std::vector<Request> received;
    int challenges = 0;
};

FakeAmt::FakeAmt() : FakeAmt(Options{}) {}

FakeAmt::FakeAmt(Options options) : impl(std::make_unique<Impl>(std::move(options)))
{
    xmlInitParser();
    Impl &d = *impl;
    d.server = d.options.certificate.empty()
                   ? std::make_unique<httplib::Server>()
                   : std::make_unique<httplib::SSLServer>(d.options.certificate.c_str(), d.options.key.c_str());
    if (!d.server->is_valid())
        std::abort();
    d.server->set_tcp_nodelay(true);
    // Short enough that the destructor does not sit out an idle keep-alive
    // connection the client still holds.
    d.server->set_keep_alive_timeout(1);
    d.server->Post("/wsman", [&d](const httplib::Request &req, httplib::Response &res) { d.handle(req, res); });
    d.port = d.server->bind_to_any_port("127.0.0.1");
    if (d.port <= 0)
        std::abort();
    d.thread = std::thread([&d] { d.server->listen_after_bind(); });
    // A stop() before the accept loop runs would be lost, and the join hang.
    while (!d.server->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

FakeAmt::~FakeAmt()
{
    {
        std::lock_guard<std::mutex> lock(impl->mutex);
        impl->stopping = true;
    }
    impl->wake.notify_all();
    impl->server->stop();
    impl->thread.join();
}

int FakeAmt::port() const
{
    return impl->port;
}

std::string FakeAmt::url() const
{
    return (impl->options.certificate.empty() ? "http" : "https") + std::string("://127.0.0.1:") +
           std::to_string(impl->port) + "/wsman";
}

int FakeAmt::powerState() const
{
    std::lock_guard<std::mutex> lock(impl->mutex);
    return impl->powerState;
}

void FakeAmt::setPowerState(int state)
{
    std::lock_guard<std::mutex> lock(impl->mutex);
    impl->powerState = impl->requested = state;
}

void FakeAmt::setReturnValue(uint32_t value)
{
    std::lock_guard<std::mutex> lock(impl->mutex);
    impl->returnValue = value;
}

void FakeAmt::setReply(Reply reply)
{
    std::lock_guard<std::mutex> lock(impl->mutex);
    impl->reply = reply;
}

void FakeAmt::expireNonces()
{
    std::lock_guard<std::mutex> lock(impl->mutex);
    for (const auto &[nonce, nc] : impl->nonces)
        impl->stale.insert(nonce);
    impl->nonces.clear();
}

std::vector<FakeAmt::Request> FakeAmt::requests() const
{
    std::lock_guard<std::mutex> lock(impl->mutex);
    return impl->received;
}

int FakeAmt::challenges() const
{
    std::lock_guard<std::mutex> lock(impl->mutex);
    return impl->challenges;
}

Envelope parseEnvelope(const std::string &xml)
{
    Envelope out;
    const Doc doc = xml::read(xml);
    const xmlNode *root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    const xmlNode *header = child(root, ns::soap, "Header");
    if (!is(root, ns::soap, "Envelope") || !header || !child(root, ns::soap, "Body"))
        return out;
    out.parsed = true;
    out.action = text(child(header, ns::addressing, "Action"));
    out.to = text(child(header, ns::addressing, "To"));
    out.messageId = text(child(header, ns::addressing, "MessageID"));
    out.replyTo = text(child(child(header, ns::addressing, "ReplyTo"), ns::addressing, "Address"));
    out.resourceUri = text(child(header, ns::wsman, "ResourceURI"));
    out.selectors = selectorsOf(child(header, ns::wsman, "SelectorSet"));
    return out;
}

std::string bodyText(const std::string &xml, const std::string &nsUri, const std::vector<std::string> &path)
{
    const Doc doc = xml::read(xml);
    return doc ? text(bodyAt(doc.get(), nsUri, path)) : "";
}

Reference managedElement(const std::string &xml)
{
    Reference out;
    const Doc doc = xml::read(xml);
    const xmlNode *epr =
        doc ? bodyAt(doc.get(), ns::powerManagementService, {"RequestPowerStateChange_INPUT", "ManagedElement"})
            : nullptr;
    const xmlNode *parameters = child(epr, ns::addressing, "ReferenceParameters");
    if (!parameters)
        return out;
    out.found = true;
    out.resourceUri = text(child(parameters, ns::wsman, "ResourceURI"));
    out.selectors = selectorsOf(child(parameters, ns::wsman, "SelectorSet"));
    return out;
}

} // namespace halvo::fake
