#include "wsman.h"

#include "../../status.h"
#include "../../text.h"
#include "../destination.h"
#include "xml.h"

#include <arpa/inet.h>
#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>

namespace halvo::amt
{

namespace
{

const char kSoap[] = "http://www.w3.org/2003/05/soap-envelope";
const char kAddressing[] = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
const char kWsman[] = "http://schemas.dmtf.org/wbem/wsman/1/wsman.xsd";
const char kAnonymous[] = "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous";
const char kCim[] = "http://schemas.dmtf.org/wbem/wscim/1/cim-schema/2/";
const char kAssociatedService[] = "CIM_AssociatedPowerManagementService";
const char kService[] = "CIM_PowerManagementService";
const char kTransferGet[] = "http://schemas.xmlsoap.org/ws/2004/09/transfer/Get";

// A reply is a few kilobytes; anything far larger is not the firmware.
constexpr size_t kMaxReply = 1 << 20;

std::string messageId()
{
    // Only tells replies apart; unpredictability is not needed.
    static std::mutex mutex;
    static std::mt19937_64 random{std::random_device{}()};
    std::lock_guard<std::mutex> lock(mutex);
    const uint64_t a = random(), b = random();
    char text[64];
    std::snprintf(text, sizeof text, "uuid:%08x-%04x-4%03x-%04x-%012llx", static_cast<unsigned>(a >> 32),
                  static_cast<unsigned>(a >> 16) & 0xffff, static_cast<unsigned>(a) & 0xfff,
                  0x8000 | (static_cast<unsigned>(b >> 48) & 0x3fff),
                  static_cast<unsigned long long>(b & 0xffffffffffffULL));
    return text;
}

std::string header(const Target &target, const std::string &action, const std::string &resource,
                   const std::string &selectors)
{
    return std::string("<s:Header>") + "<a:Action s:mustUnderstand=\"true\">" + action + "</a:Action>" +
           "<a:To s:mustUnderstand=\"true\">" + target.url() + "</a:To>" + "<w:ResourceURI s:mustUnderstand=\"true\">" +
           resource + "</w:ResourceURI>" + "<a:MessageID s:mustUnderstand=\"true\">" + messageId() + "</a:MessageID>" +
           "<a:ReplyTo><a:Address>" + kAnonymous + "</a:Address></a:ReplyTo>" +
           "<w:OperationTimeout>PT60S</w:OperationTimeout>" + selectors + "</s:Header>";
}

std::string envelope(const std::string &extraNamespaces, const std::string &header, const std::string &body)
{
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>") + "<s:Envelope xmlns:s=\"" + kSoap +
           "\" xmlns:a=\"" + kAddressing + "\" xmlns:w=\"" + kWsman + "\"" + extraNamespaces + ">" + header +
           "<s:Body>" + body + "</s:Body></s:Envelope>";
}

// ---- Replies ------------------------------------------------------------------

using xml::child;
using xml::is;

bool number(const xmlNode *node, int64_t &out)
{
    const std::string text = xml::text(node);
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out = std::strtoll(text.c_str(), nullptr, 10);
    return true;
}

// The value at Body/<resource-namespace>:outer/<resource-namespace>:name.
int32_t bodyNumber(const std::string &reply, const char *resource, const char *outer, const char *name, int64_t &out)
{
    const xml::Doc doc = reply.size() > kMaxReply ? nullptr : xml::read(reply);
    const xmlNode *root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    if (!is(root, kSoap, "Envelope"))
        return fail(HALVO_CLASS_DEVICE, kProtocol);
    const std::string ns = std::string(kCim) + resource;
    const xmlNode *body = child(root, kSoap, "Body");
    if (!body || child(body, kSoap, "Fault"))
        return fail(HALVO_CLASS_DEVICE, kProtocol);
    if (!number(child(child(body, ns.c_str(), outer), ns.c_str(), name), out))
        return fail(HALVO_CLASS_DEVICE, kProtocol);
    return HALVO_STATUS_OK;
}

// ---- Transport ------------------------------------------------------------------

struct Curl {
    void operator()(CURL *curl) const { curl_easy_cleanup(curl); }
};
struct CurlList {
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};

size_t collect(char *data, size_t size, size_t count, void *user)
{
    auto *reply = static_cast<std::string *>(user);
    const size_t n = size * count;
    if (reply->size() + n > kMaxReply)
        return 0; // ends the transfer with CURLE_WRITE_ERROR
    reply->append(data, n);
    return n;
}

int32_t classify(CURLcode code)
{
    switch (code) {
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_LOGIN_DENIED:
        return fail(HALVO_CLASS_ACCESS, kPermission);
    case CURLE_WRITE_ERROR:
    case CURLE_OUT_OF_MEMORY:
        return fail(HALVO_CLASS_DEVICE, kProtocol);
    default:
        // Refused, unresolvable, timed out, reset or cut short: the board
        // cannot be reached.
        return fail(HALVO_CLASS_CONNECTION, kTransport);
    }
}

int32_t post(const Target &target, const std::string &userName, const std::string &password, const std::string &body,
             std::string &reply)
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    std::unique_ptr<CURL, Curl> curl(curl_easy_init());
    std::unique_ptr<curl_slist, CurlList> headers(
        curl_slist_append(nullptr, "Content-Type: application/soap+xml;charset=UTF-8"));
    if (!curl || !headers)
        return fail(HALVO_CLASS_DEVICE, kInternal);
    const std::string url = target.url();
    CURL *c = curl.get();
    bool ok = curl_easy_setopt(c, CURLOPT_URL, url.c_str()) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, target.tls ? "https" : "http") == CURLE_OK &&
              // Straight to the board: a proxy from the environment would
              // see the exchange, and the firmware is on the local network.
              curl_easy_setopt(c, CURLOPT_PROXY, "") == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_NOPROXY, "*") == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(target.connectMs)) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(target.totalMs)) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_TCP_NODELAY, 1L) == CURLE_OK &&
              // Digest only: curl never falls back to Basic, whatever the
              // server offers.
              curl_easy_setopt(c, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_DIGEST)) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_USERNAME, userName.c_str()) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_PASSWORD, password.c_str()) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get()) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.c_str()) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size())) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, collect) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_WRITEDATA, &reply) == CURLE_OK;
    if (ok && target.tls) {
        ok = curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
             curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK &&
             (target.ca.empty() || curl_easy_setopt(c, CURLOPT_CAINFO, target.ca.c_str()) == CURLE_OK);
    }
    if (!ok)
        return fail(HALVO_CLASS_DEVICE, kInternal);
    reply.clear();
    if (const CURLcode code = curl_easy_perform(c); code != CURLE_OK)
        return classify(code);
    long http = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &http);
    if (http == 401 || http == 403)
        return fail(HALVO_CLASS_ACCESS, kPermission);
    if (http != 200)
        return fail(HALVO_CLASS_DEVICE, kProtocol);
    return HALVO_STATUS_OK;
}

bool hostName(const std::string &host)
{
    if (host.empty() || host.size() > 253 || host.front() == '-' || host.front() == '.')
        return false;
    return std::all_of(host.begin(), host.end(),
                       [](unsigned char ch) { return std::isalnum(ch) || ch == '-' || ch == '.'; });
}

} // namespace

int32_t boardState(int64_t amtState)
{
    switch (amtState) {
    case kAmtOn:
        return HALVO_SYSTEM_STATE_ON;
    case kAmtOffHard:
    case kAmtOffSoft:
    case kAmtOffSoftGraceful:
    case kAmtOffHardGraceful:
        return HALVO_SYSTEM_STATE_OFF;
    case kAmtHibernate:
        return HALVO_SYSTEM_STATE_HIBERNATED;
    default:
        return HALVO_SYSTEM_STATE_UNKNOWN;
    }
}

bool amtRequest(int32_t boardState, int32_t &amtState)
{
    switch (boardState) {
    case HALVO_SYSTEM_STATE_ON:
        amtState = kAmtOn;
        return true;
    case HALVO_SYSTEM_STATE_OFF:
        amtState = kAmtOffSoft;
        return true;
    case HALVO_SYSTEM_STATE_HIBERNATED:
        amtState = kAmtHibernate;
        return true;
    case HALVO_SYSTEM_STATE_RESTART:
        amtState = kAmtMasterBusReset;
        return true;
    default:
        return false;
    }
}

std::string Target::url() const
{
    return std::string(tls ? "https://" : "http://") + host + ":" + std::to_string(port) + "/wsman";
}

bool targetFor(const std::string &address, const Settings &settings, Target &out)
{
    const std::string text = trim(address, " \t");
    Target t;
    unsigned char raw[sizeof(in6_addr)];
    if (text.find(':') != std::string::npos) {
        std::string inner = text;
        if (inner.size() > 2 && inner.front() == '[' && inner.back() == ']')
            inner = inner.substr(1, inner.size() - 2);
        if (inet_pton(AF_INET6, inner.c_str(), raw) != 1)
            return false;
        t.host = "[" + inner + "]";
    } else if (hostName(text)) {
        t.host = text;
    } else {
        return false;
    }
    if (!destinationAllowed(t.host.front() == '[' ? t.host.substr(1, t.host.size() - 2) : t.host))
        return false;
    // A bad amt_port was reported when the settings were read.
    if (settings.amtPort < 0)
        return false;
    t.tls = settings.amtTls;
    t.port = settings.amtPort > 0 ? settings.amtPort : t.tls ? 16993 : 16992;
    t.ca = settings.amtCa;
    t.connectMs = settings.amtConnectTimeoutMs;
    t.totalMs = settings.amtTimeoutMs;
    out = t;
    return true;
}

std::string getPowerStateEnvelope(const Target &target)
{
    const std::string resource = std::string(kCim) + kAssociatedService;
    return envelope("", header(target, kTransferGet, resource, ""), "");
}

std::string requestPowerStateChangeEnvelope(const Target &target, int32_t amtState)
{
    const std::string resource = std::string(kCim) + kService;
    const std::string selectors = "<w:SelectorSet>"
                                  "<w:Selector Name=\"CreationClassName\">CIM_PowerManagementService</w:Selector>"
                                  "<w:Selector Name=\"Name\">Intel(r) AMT Power Management Service</w:Selector>"
                                  "<w:Selector Name=\"SystemCreationClassName\">CIM_ComputerSystem</w:Selector>"
                                  "<w:Selector Name=\"SystemName\">Intel(r) AMT</w:Selector>"
                                  "</w:SelectorSet>";
    const std::string body = std::string("<p:RequestPowerStateChange_INPUT>") + "<p:PowerState>" +
                             std::to_string(amtState) + "</p:PowerState>" + "<p:ManagedElement><a:Address>" +
                             kAnonymous + "</a:Address><a:ReferenceParameters>" + "<w:ResourceURI>" + kCim +
                             "CIM_ComputerSystem</w:ResourceURI>" +
                             "<w:SelectorSet><w:Selector Name=\"CreationClassName\">CIM_ComputerSystem</w:Selector>"
                             "<w:Selector Name=\"Name\">ManagedSystem</w:Selector></w:SelectorSet>" +
                             "</a:ReferenceParameters></p:ManagedElement>" + "</p:RequestPowerStateChange_INPUT>";
    return envelope(" xmlns:p=\"" + resource + "\"",
                    header(target, resource + "/RequestPowerStateChange", resource, selectors), body);
}

int32_t parsePowerState(const std::string &xml, int64_t &powerState)
{
    return bodyNumber(xml, kAssociatedService, kAssociatedService, "PowerState", powerState);
}

int32_t parseReturnValue(const std::string &xml, int64_t &returnValue)
{
    return bodyNumber(xml, kService, "RequestPowerStateChange_OUTPUT", "ReturnValue", returnValue);
}

int32_t getSystemState(const std::string &address, const std::string &userName, const std::string &password,
                       const Settings &settings, int32_t &state)
{
    Target target;
    if (!targetFor(address, settings, target))
        return fail(HALVO_CLASS_CONNECTION, kUnknownAddress);
    std::string reply;
    int64_t powerState = 0;
    if (const int32_t status = post(target, userName, password, getPowerStateEnvelope(target), reply))
        return status;
    if (const int32_t status = parsePowerState(reply, powerState))
        return status;
    state = boardState(powerState);
    return HALVO_STATUS_OK;
}

int32_t setSystemState(const std::string &address, const std::string &userName, const std::string &password,
                       const Settings &settings, int32_t state)
{
    int32_t amtState = 0;
    if (!amtRequest(state, amtState))
        return badArgument(kOutOfRange);
    Target target;
    if (!targetFor(address, settings, target))
        return fail(HALVO_CLASS_CONNECTION, kUnknownAddress);
    std::string reply;
    int64_t returnValue = 0;
    if (const int32_t status =
            post(target, userName, password, requestPowerStateChangeEnvelope(target, amtState), reply))
        return status;
    if (const int32_t status = parseReturnValue(reply, returnValue))
        return status;
    // 0 is done; every other value (4096 job started included) is not.
    return returnValue == 0 ? HALVO_STATUS_OK : fail(HALVO_CLASS_DEVICE, kBadValue);
}

} // namespace halvo::amt
