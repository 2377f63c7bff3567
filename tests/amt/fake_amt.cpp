#include "fake_amt.h"

#include <httplib.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

namespace halvo::fake
{
namespace
{

constexpr char kSoapType[] = "application/soap+xml;charset=UTF-8";
constexpr char kXsi[] = "http://www.w3.org/2001/XMLSchema-instance";
constexpr char kAddressingFault[] = "http://schemas.xmlsoap.org/ws/2004/08/addressing/fault";
constexpr char kWsmanFault[] = "http://schemas.dmtf.org/wbem/wsman/1/wsman/fault";

// What the firmware names its one power management service and the host it
// manages; a ManagedElement has to point at the latter.
const std::vector<std::pair<std::string, std::string>> kServiceSelectors = {
    {"CreationClassName", "CIM_PowerManagementService"},
    {"Name", "Intel(r) AMT Power Management Service"},
    {"SystemCreationClassName", "CIM_ComputerSystem"},
    {"SystemName", "Intel(r) AMT"},
};
const std::vector<std::pair<std::string, std::string>> kSystemSelectors = {
    {"CreationClassName", "CIM_ComputerSystem"},
    {"Name", "ManagedSystem"},
};

// The PowerState values RequestPowerStateChange takes, and where each one
// leaves the host once done: the resets and power cycles come back on.
int settledState(int requested)
{
    switch (requested) {
    case 5:  // power cycle (off soft)
    case 9:  // power cycle (off hard)
    case 10: // master bus reset
        return 2;
    case 2:
    case 6:
    case 7:
    case 8:
    case 12:
    case 13:
        return requested;
    default:
        return -1;
    }
}
constexpr int kAvailableStates[] = {2, 5, 6, 7, 8, 9, 10, 12, 13};

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::string trim(const std::string &s)
{
    const auto space = [](unsigned char c) { return std::isspace(c) != 0; };
    auto begin = std::find_if_not(s.begin(), s.end(), space);
    auto end = std::find_if_not(s.rbegin(), std::string::const_reverse_iterator(begin), space).base();
    return std::string(begin, end);
}

bool isHex(const std::string &s, size_t length)
{
    return s.size() == length && std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isxdigit(c) != 0; });
}

std::string hex(const unsigned char *data, size_t size, bool upper)
{
    static const char digits[] = "0123456789abcdef0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < size; ++i) {
        out += digits[(data[i] >> 4) + (upper ? 16 : 0)];
        out += digits[(data[i] & 15) + (upper ? 16 : 0)];
    }
    return out;
}

std::string md5Hex(const std::string &text)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(text.data(), text.size(), digest, &size, EVP_md5(), nullptr) != 1)
        std::abort();
    return hex(digest, size, false);
}

std::vector<unsigned char> randomBytes(size_t count)
{
    std::vector<unsigned char> bytes(count);
    if (RAND_bytes(bytes.data(), static_cast<int>(count)) != 1)
        std::abort();
    return bytes;
}

// Base64 on purpose: '+', '/' and '=' in the nonce catch a client that
// rebuilds the quoted string instead of echoing it.
std::string newNonce()
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const std::vector<unsigned char> bytes = randomBytes(16);
    std::string out;
    unsigned bits = 0;
    int held = 0;
    for (unsigned char b : bytes) {
        bits = (bits << 8) | b;
        held += 8;
        while (held >= 6) {
            held -= 6;
            out += alphabet[(bits >> held) & 63];
        }
    }
    if (held > 0)
        out += alphabet[(bits << (6 - held)) & 63];
    return out + "==";
}

// `Digest name=value, name="quoted \"value\""`, names lowercased; false for
// another scheme, broken syntax or a repeated name.
bool parseDigest(const std::string &header, std::map<std::string, std::string> &params)
{
    size_t i = 0;
    const auto skip = [&](const char *chars) {
        while (i < header.size() && std::strchr(chars, header[i]) != nullptr)
            ++i;
    };
    skip(" \t");
    const size_t schemeEnd = header.find_first_of(" \t", i);
    if (schemeEnd == std::string::npos || lower(header.substr(i, schemeEnd - i)) != "digest")
        return false;
    i = schemeEnd;
    for (;;) {
        skip(" \t,");
        if (i >= header.size())
            return !params.empty();
        const size_t nameEnd = header.find_first_of("= \t", i);
        if (nameEnd == std::string::npos || nameEnd == i)
            return false;
        std::string name = lower(header.substr(i, nameEnd - i));
        i = nameEnd;
        skip(" \t");
        if (i >= header.size() || header[i] != '=')
            return false;
        ++i;
        skip(" \t");
        std::string value;
        if (i < header.size() && header[i] == '"') {
            for (++i;; ++i) {
                if (i >= header.size())
                    return false;
                if (header[i] == '"')
                    break;
                if (header[i] == '\\' && ++i >= header.size())
                    return false;
                value += header[i];
            }
            ++i;
        } else {
            const size_t end = header.find_first_of(", \t", i);
            value = header.substr(i, end == std::string::npos ? std::string::npos : end - i);
            i = end == std::string::npos ? header.size() : end;
        }
        if (!params.emplace(std::move(name), std::move(value)).second)
            return false;
    }
}

std::string escape(const std::string &text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// ---- reading envelopes ----

struct DocFree {
    void operator()(xmlDoc *doc) const { xmlFreeDoc(doc); }
};
using Doc = std::unique_ptr<xmlDoc, DocFree>;

// SOAP forbids a document type declaration, so a DOCTYPE is a broken
// envelope here, and no entity is ever expanded or fetched.
Doc readXml(const std::string &xml)
{
    xmlInitParser();
    if (xml.empty() || xml.size() > INT_MAX)
        return nullptr;
    Doc doc(xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "envelope.xml", nullptr,
                          XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    if (doc && doc->intSubset != nullptr)
        return nullptr;
    return doc;
}

bool is(const xmlNode *node, const char *nsUri, const char *local)
{
    return node != nullptr && node->type == XML_ELEMENT_NODE && node->ns != nullptr && node->ns->href != nullptr &&
           xmlStrEqual(node->ns->href, BAD_CAST nsUri) && xmlStrEqual(node->name, BAD_CAST local);
}

const xmlNode *child(const xmlNode *parent, const char *nsUri, const char *local)
{
    for (const xmlNode *c = parent != nullptr ? parent->children : nullptr; c != nullptr; c = c->next)
        if (is(c, nsUri, local))
            return c;
    return nullptr;
}

std::string text(const xmlNode *node)
{
    if (node == nullptr)
        return {};
    xmlChar *content = xmlNodeGetContent(const_cast<xmlNode *>(node));
    std::string out = content != nullptr ? reinterpret_cast<const char *>(content) : "";
    xmlFree(content);
    return trim(out);
}

std::map<std::string, std::string> selectorsOf(const xmlNode *selectorSet)
{
    std::map<std::string, std::string> out;
    for (const xmlNode *c = selectorSet != nullptr ? selectorSet->children : nullptr; c != nullptr; c = c->next) {
        if (!is(c, ns::wsman, "Selector"))
            continue;
        xmlChar *name = xmlGetNoNsProp(const_cast<xmlNode *>(c), BAD_CAST "Name");
        out.emplace(name != nullptr ? reinterpret_cast<const char *>(name) : "", text(c));
        xmlFree(name);
    }
    return out;
}

// The Body's element children of an envelope, or a lone body element.
std::vector<const xmlNode *> bodyElements(const xmlDoc *doc)
{
    std::vector<const xmlNode *> out;
    const xmlNode *root = xmlDocGetRootElement(doc);
    if (!is(root, ns::soap, "Envelope")) {
        if (root != nullptr)
            out.push_back(root);
        return out;
    }
    const xmlNode *body = child(root, ns::soap, "Body");
    for (const xmlNode *e = body != nullptr ? body->children : nullptr; e != nullptr; e = e->next)
        if (e->type == XML_ELEMENT_NODE)
            out.push_back(e);
    return out;
}

std::vector<const xmlNode *> walk(const xmlDoc *doc, const std::string &nsUri, const std::vector<std::string> &path)
{
    std::vector<const xmlNode *> level;
    if (path.empty())
        return level;
    for (const xmlNode *e : bodyElements(doc))
        if (is(e, nsUri.c_str(), path[0].c_str()))
            level.push_back(e);
    for (size_t step = 1; step < path.size(); ++step) {
        std::vector<const xmlNode *> next;
        for (const xmlNode *parent : level)
            for (const xmlNode *c = parent->children; c != nullptr; c = c->next)
                if (is(c, nsUri.c_str(), path[step].c_str()))
                    next.push_back(c);
        level = std::move(next);
    }
    return level;
}

// A copy in a document of its own keeps every namespace in scope at the
// original, so QName texts such as a fault's Value still resolve.
std::string serialize(const xmlNode *node)
{
    Doc copyDoc(xmlNewDoc(BAD_CAST "1.0"));
    xmlNode *copy = xmlDocCopyNode(const_cast<xmlNode *>(node), copyDoc.get(), 1);
    xmlDocSetRootElement(copyDoc.get(), copy);
    if (xmlNs **inScope = xmlGetNsList(node->doc, node)) {
        for (xmlNs **n = inScope; *n != nullptr; ++n)
            if (xmlSearchNs(copyDoc.get(), copy, (*n)->prefix) == nullptr)
                xmlNewNs(copy, (*n)->href, (*n)->prefix);
        xmlFree(inScope);
    }
    xmlBuffer *buffer = xmlBufferCreate();
    xmlNodeDump(buffer, copyDoc.get(), copy, 0, 0);
    std::string out(reinterpret_cast<const char *>(xmlBufferContent(buffer)), xmlBufferLength(buffer));
    xmlBufferFree(buffer);
    return out;
}

Reference referenceAt(const xmlNode *epr)
{
    Reference out;
    if (epr == nullptr)
        return out;
    out.found = true;
    out.address = text(child(epr, ns::addressing, "Address"));
    const xmlNode *parameters = child(epr, ns::addressing, "ReferenceParameters");
    out.resourceUri = text(child(parameters, ns::wsman, "ResourceURI"));
    out.selectors = selectorsOf(child(parameters, ns::wsman, "SelectorSet"));
    return out;
}

// ---- writing envelopes ----

// The prefixes of one way of writing the same answer; an empty class prefix
// makes the class namespace the default on the body element.
struct Style {
    const char *env, *wsa, *wsman, *cls;
};
// The single letters the firmware uses, all declared on the Envelope.
constexpr Style kFirmwareStyle{"a", "b", "c", "g"};
constexpr Style kOtherStyle{"s", "wsa", "x1", ""};

std::string qn(const char *prefix, const std::string &local)
{
    return *prefix != '\0' ? std::string(prefix) + ":" + local : local;
}

std::string element(const char *prefix, const std::string &local, const std::string &content,
                    const std::string &attributes = "")
{
    return "<" + qn(prefix, local) + attributes + ">" + content + "</" + qn(prefix, local) + ">";
}

std::string selectorSet(const Style &st, const std::vector<std::pair<std::string, std::string>> &selectors)
{
    std::string out;
    for (const auto &[name, value] : selectors)
        out += element(st.wsman, "Selector", escape(value), " Name=\"" + escape(name) + "\"");
    return element(st.wsman, "SelectorSet", out);
}

std::string endpoint(const Style &st, const std::string &resourceUri,
                     const std::vector<std::pair<std::string, std::string>> &selectors)
{
    return element(st.wsa, "Address", anonymous) +
           element(st.wsa, "ReferenceParameters",
                   element(st.wsman, "ResourceURI", resourceUri) + selectorSet(st, selectors));
}

struct Answer {
    int status;
    std::string xml;
};

class Writer
{
public:
    Writer(const Style &style, std::string relatesTo, std::string messageId)
        : st(style), relatesTo(std::move(relatesTo)), messageId(std::move(messageId))
    {
    }

    // One instance or method output of a CIM class, whose ResourceURI is its
    // namespace.
    std::string classAnswer(const std::string &action, const std::string &classUri, const std::string &name,
                            const std::string &properties) const
    {
        const std::string attributes = *st.cls == '\0' ? " xmlns=\"" + classUri + "\"" : "";
        return envelope(header(action, classUri), element(st.cls, name, properties, attributes), classUri);
    }
    std::string property(const std::string &name, const std::string &content) const
    {
        return element(st.cls, name, content);
    }

    std::string fault(const char *faultAction, bool sender, const char *subcodePrefix, const std::string &subcode,
                      const std::string &reason) const
    {
        const std::string code = element(st.env, "Value", qn(st.env, sender ? "Sender" : "Receiver")) +
                                 element(st.env, "Subcode", element(st.env, "Value", qn(subcodePrefix, subcode)));
        const std::string body =
            element(st.env, "Fault",
                    element(st.env, "Code", code) +
                        element(st.env, "Reason", element(st.env, "Text", escape(reason), " xml:lang=\"en-US\"")));
        return envelope(header(faultAction, ""), body, "");
    }

    const Style &st;

private:
    std::string header(const std::string &action, const std::string &resourceUri) const
    {
        std::string out = element(st.wsa, "To", anonymous);
        if (!relatesTo.empty())
            out += element(st.wsa, "RelatesTo", escape(relatesTo));
        out += element(st.wsa, "Action", action, " " + qn(st.env, "mustUnderstand") + "=\"true\"");
        out += element(st.wsa, "MessageID", messageId);
        if (!resourceUri.empty())
            out += element(st.wsman, "ResourceURI", resourceUri);
        return element(st.env, "Header", out);
    }

    std::string envelope(const std::string &header, const std::string &body, const std::string &classUri) const
    {
        std::string declarations = std::string(" xmlns:") + st.env + "=\"" + ns::soap + "\" xmlns:" + st.wsa + "=\"" +
                                   ns::addressing + "\" xmlns:" + st.wsman + "=\"" + ns::wsman + "\"";
        if (*st.cls != '\0' && !classUri.empty())
            declarations += std::string(" xmlns:") + st.cls + "=\"" + classUri + "\"";
        declarations += std::string(" xmlns:xsi=\"") + kXsi + "\"";
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" +
               element(st.env, "Envelope", header + element(st.env, "Body", body), declarations);
    }

    std::string relatesTo, messageId;
};

} // namespace

// ---- the server ----

struct FakeAmt::Impl {
    explicit Impl(Options o) : options(std::move(o)), powerState(options.powerState), requested(options.powerState)
    {
        const std::vector<unsigned char> id = randomBytes(16);
        realm = "Digest:" + hex(id.data(), id.size(), true);
    }

    enum class Auth { Ok, Refused, Stale };
    struct NonceUse {
        unsigned long lastCount = 0;
        bool expired = false;
    };

    Auth authorize(const httplib::Request &req)
    {
        std::map<std::string, std::string> p;
        if (!parseDigest(req.get_header_value("Authorization"), p))
            return Auth::Refused;
        const auto get = [&](const char *name) {
            const auto it = p.find(name);
            return it != p.end() ? it->second : std::string();
        };
        const std::string nonce = get("nonce"), nc = get("nc"), cnonce = get("cnonce"), response = get("response");
        if (get("username") != options.user || get("realm") != realm || get("uri") != req.target ||
            lower(get("qop")) != "auth" || !isHex(nc, 8) || cnonce.empty() || !isHex(response, 32) ||
            (p.count("algorithm") != 0 && lower(get("algorithm")) != "md5"))
            return Auth::Refused;
        const std::string ha1 = md5Hex(options.user + ":" + realm + ":" + options.password);
        const std::string ha2 = md5Hex(req.method + ":" + req.target);
        if (lower(response) != md5Hex(ha1 + ":" + nonce + ":" + nc + ":" + cnonce + ":auth:" + ha2))
            return Auth::Refused;
        // The nonce last: stale="true" promises the credentials were right.
        const auto use = nonces.find(nonce);
        if (use == nonces.end())
            return Auth::Refused;
        if (use->second.expired)
            return Auth::Stale;
        // A count that does not grow is a replayed header.
        const unsigned long count = std::strtoul(nc.c_str(), nullptr, 16);
        if (count <= use->second.lastCount)
            return Auth::Refused;
        use->second.lastCount = count;
        return Auth::Ok;
    }

    void challenge(httplib::Response &res, bool stale)
    {
        std::string nonce = newNonce();
        while (nonces.count(nonce) != 0)
            nonce = newNonce();
        nonces.emplace(nonce, NonceUse{});
        ++challenges;
        res.status = 401;
        res.set_header("WWW-Authenticate", "Digest realm=\"" + realm + "\", nonce=\"" + nonce + "\", stale=\"" +
                                               (stale ? "true" : "false") + "\", qop=\"auth\"");
    }

    std::string newMessageId()
    {
        char id[64];
        std::snprintf(id, sizeof id, "uuid:00000000-8086-8086-8086-%012u", ++messages);
        return id;
    }

    void handle(const httplib::Request &req, httplib::Response &res)
    {
        std::unique_lock<std::mutex> lock(mutex);
        received.push_back({req.get_header_value("Authorization"), req.get_header_value("Content-Type"), req.body});
        if (options.requireAuth) {
            const Auth auth = authorize(req);
            if (auth != Auth::Ok) {
                challenge(res, auth == Auth::Stale);
                return;
            }
        }
        const std::string type = lower(req.get_header_value("Content-Type"));
        const std::string soapType = "application/soap+xml";
        if (type.compare(0, soapType.size(), soapType) != 0 ||
            (type.size() > soapType.size() && std::strchr("; \t", type[soapType.size()]) == nullptr)) {
            res.status = 415;
            return;
        }
        ++reached;
        const Reply mode = reply;
        if (mode == Reply::Silent) {
            wake.wait(lock, [this] { return stopping || reply != Reply::Silent; });
            res.status = 503;
            return;
        }
        const Envelope request = parseEnvelope(req.body);
        const Writer out(mode == Reply::UnfamiliarPrefixes ? kOtherStyle : kFirmwareStyle, request.messageId,
                         newMessageId());
        Answer answer;
        if (mode == Reply::SoapFault)
            answer = {400, out.fault(kWsmanFault, true, out.st.wsman, "AccessDenied",
                                     "This user may not use the power management service.")};
        else if (mode == Reply::HttpError500)
            answer = {500, out.fault(kWsmanFault, false, out.st.wsman, "InternalError",
                                     "The firmware failed while handling the request.")};
        else
            answer = dispatch(request, req.body, out);
        if (mode == Reply::MalformedXml)
            answer.xml.resize(answer.xml.size() / 2);
        res.status = answer.status;
        res.set_content(answer.xml, kSoapType);
    }

    Answer dispatch(const Envelope &request, const std::string &xml, const Writer &out)
    {
        const Style &st = out.st;
        if (!request.parsed)
            return {400, out.fault(kWsmanFault, true, st.wsman, "SchemaValidationError",
                                   "The request is not a SOAP 1.2 envelope with a Header and a Body.")};
        if (request.action.empty() || request.to.empty() || request.messageId.empty())
            return {400, out.fault(kAddressingFault, true, st.wsa, "MessageInformationHeaderRequired",
                                   "Action, To and MessageID are all required.")};
        if (request.resourceUri == ns::associatedPowerManagementService) {
            if (request.action != action::get)
                return actionNotSupported(out);
            // There is one instance, so a Get names no selectors.
            if (!request.selectors.empty())
                return invalidSelectors(out);
            std::string properties;
            for (int state : kAvailableStates)
                properties += out.property("AvailableRequestedPowerStates", std::to_string(state));
            properties += out.property("PowerState", std::to_string(powerState));
            properties += out.property("RequestedPowerState", std::to_string(requested));
            properties += out.property("ServiceProvided", endpoint(st, ns::powerManagementService, kServiceSelectors));
            properties += out.property("UserOfService", endpoint(st, ns::computerSystem, kSystemSelectors));
            return {200, out.classAnswer(action::getResponse, ns::associatedPowerManagementService,
                                         "CIM_AssociatedPowerManagementService", properties)};
        }
        if (request.resourceUri == ns::powerManagementService) {
            if (request.action != action::requestPowerStateChange)
                return actionNotSupported(out);
            if (!matches(request.selectors, kServiceSelectors, false))
                return invalidSelectors(out);
            const std::vector<std::string> states =
                bodyTexts(xml, ns::powerManagementService, {"RequestPowerStateChange_INPUT", "PowerState"});
            const Reference element = managedElement(xml);
            if (states.size() != 1 || !isUint16(states[0]) || !element.found)
                return {400, out.fault(kWsmanFault, true, st.wsman, "InvalidParameter",
                                       "RequestPowerStateChange takes one PowerState and a ManagedElement.")};
            if (element.resourceUri != ns::computerSystem || !matches(element.selectors, kSystemSelectors, true))
                return invalidSelectors(out);
            uint32_t result = returnValue;
            if (result == 0) {
                const int state = std::stoi(states[0]);
                if (settledState(state) < 0) {
                    result = 1; // not supported
                } else {
                    requested = state;
                    powerState = settledState(state);
                }
            }
            return {200, out.classAnswer(action::requestPowerStateChangeResponse, ns::powerManagementService,
                                         "RequestPowerStateChange_OUTPUT",
                                         out.property("ReturnValue", std::to_string(result)))};
        }
        return {400, out.fault(kAddressingFault, true, st.wsa, "DestinationUnreachable",
                               "No resource answers at this ResourceURI.")};
    }

    static bool isUint16(const std::string &s)
    {
        return !s.empty() && s.size() <= 5 &&
               std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c) != 0; }) &&
               std::stol(s) <= 65535;
    }

    // Each selector given must be one of the known ones with its value; a
    // reference (nameRequired) has to carry at least the Name key.
    static bool matches(const std::map<std::string, std::string> &given,
                        const std::vector<std::pair<std::string, std::string>> &known, bool nameRequired)
    {
        for (const auto &[name, value] : given) {
            const auto it = std::find_if(known.begin(), known.end(), [&](const auto &k) { return k.first == name; });
            if (it == known.end() || it->second != value)
                return false;
        }
        return !nameRequired || given.count("Name") != 0;
    }

    Answer actionNotSupported(const Writer &out)
    {
        return {400, out.fault(kAddressingFault, true, out.st.wsa, "ActionNotSupported",
                               "This resource does not take that Action.")};
    }
    Answer invalidSelectors(const Writer &out)
    {
        return {400, out.fault(kWsmanFault, true, out.st.wsman, "InvalidSelectors",
                               "The selectors do not name an instance of this resource.")};
    }

    const Options options;
    std::string realm;
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    int port = 0;

    mutable std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    int powerState, requested;
    uint32_t returnValue = 0;
    Reply reply = Reply::Normal;
    std::map<std::string, NonceUse> nonces;
    std::vector<Request> received;
    int challenges = 0, reached = 0;
    unsigned messages = 0;
};

FakeAmt::FakeAmt() : FakeAmt(Options{}) {}

FakeAmt::FakeAmt(Options options) : impl(std::make_unique<Impl>(std::move(options)))
{
    xmlInitParser();
    Impl &d = *impl;
    const bool tls = !d.options.certificate.empty();
    d.server = tls ? std::make_unique<httplib::SSLServer>(d.options.certificate.c_str(), d.options.key.c_str())
                   : std::make_unique<httplib::Server>();
    if (!d.server->is_valid()) {
        std::fprintf(stderr, "fake AMT: cannot load %s\n", d.options.certificate.c_str());
        std::abort();
    }
    d.server->set_tcp_nodelay(true);
    // Short enough that the destructor does not sit out an idle keep-alive
    // connection the client still holds.
    d.server->set_keep_alive_timeout(1);
    d.server->Post("/wsman", [&d](const httplib::Request &req, httplib::Response &res) { d.handle(req, res); });
    d.port = d.server->bind_to_any_port("127.0.0.1");
    if (d.port <= 0) {
        std::perror("fake AMT: bind 127.0.0.1");
        std::abort();
    }
    d.thread = std::thread([&d] { d.server->listen_after_bind(); });
    // stop() before the accept loop runs would be lost, and the join hang.
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
    return (impl->options.certificate.empty() ? "http://127.0.0.1:" : "https://127.0.0.1:") +
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
    impl->powerState = state;
}

void FakeAmt::setReturnValue(uint32_t value)
{
    std::lock_guard<std::mutex> lock(impl->mutex);
    impl->returnValue = value;
}

void FakeAmt::setReply(Reply reply)
{
    {
        std::lock_guard<std::mutex> lock(impl->mutex);
        impl->reply = reply;
    }
    impl->wake.notify_all();
}

void FakeAmt::expireNonces()
{
    std::lock_guard<std::mutex> lock(impl->mutex);
    for (auto &[nonce, use] : impl->nonces)
        use.expired = true;
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

int FakeAmt::answered() const
{
    std::lock_guard<std::mutex> lock(impl->mutex);
    return impl->reached;
}

// ---- envelope readers ----

Envelope parseEnvelope(const std::string &xml)
{
    Envelope out;
    const Doc doc = readXml(xml);
    const xmlNode *root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    const xmlNode *header = child(root, ns::soap, "Header");
    const xmlNode *body = child(root, ns::soap, "Body");
    if (!is(root, ns::soap, "Envelope") || header == nullptr || body == nullptr)
        return out;
    out.parsed = true;
    out.action = text(child(header, ns::addressing, "Action"));
    out.to = text(child(header, ns::addressing, "To"));
    out.messageId = text(child(header, ns::addressing, "MessageID"));
    out.relatesTo = text(child(header, ns::addressing, "RelatesTo"));
    out.replyTo = text(child(child(header, ns::addressing, "ReplyTo"), ns::addressing, "Address"));
    out.resourceUri = text(child(header, ns::wsman, "ResourceURI"));
    out.selectors = selectorsOf(child(header, ns::wsman, "SelectorSet"));
    for (const xmlNode *e : bodyElements(doc.get()))
        out.body += serialize(e);
    return out;
}

std::vector<std::string> bodyTexts(const std::string &xml, const std::string &nsUri,
                                   const std::vector<std::string> &localNames)
{
    std::vector<std::string> out;
    const Doc doc = readXml(xml);
    if (doc)
        for (const xmlNode *node : walk(doc.get(), nsUri, localNames))
            out.push_back(text(node));
    return out;
}

std::string bodyText(const std::string &xml, const std::string &nsUri, const std::vector<std::string> &localNames)
{
    const std::vector<std::string> texts = bodyTexts(xml, nsUri, localNames);
    return texts.empty() ? std::string() : texts.front();
}

Reference bodyReference(const std::string &xml, const std::string &nsUri, const std::vector<std::string> &localNames)
{
    const Doc doc = readXml(xml);
    if (!doc)
        return {};
    const std::vector<const xmlNode *> found = walk(doc.get(), nsUri, localNames);
    return referenceAt(found.empty() ? nullptr : found.front());
}

Reference managedElement(const std::string &xml)
{
    return bodyReference(xml, ns::powerManagementService, {"RequestPowerStateChange_INPUT", "ManagedElement"});
}

} // namespace halvo::fake
