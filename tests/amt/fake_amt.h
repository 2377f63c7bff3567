// A stand-in for a board's AMT firmware on a free 127.0.0.1 port, for the
// library's AMT client tests: WS-Management over HTTP/1.1 on POST /wsman,
// behind HTTP Digest (MD5, qop=auth), answering the two exchanges the client
// makes (the power state Get and RequestPowerStateChange) and misbehaving on
// demand. Also the namespace-aware envelope readers the tests use to check
// what the client sent.
#ifndef HALVO_FAKE_AMT_H
#define HALVO_FAKE_AMT_H

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace halvo::fake
{

// Namespace URIs; prefixes mean nothing on the wire.
namespace ns
{
inline constexpr char soap[] = "http://www.w3.org/2003/05/soap-envelope";
inline constexpr char addressing[] = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
inline constexpr char wsman[] = "http://schemas.dmtf.org/wbem/wsman/1/wsman.xsd";
// A CIM class's ResourceURI doubles as the namespace of its properties and
// of its methods' _INPUT/_OUTPUT elements.
inline constexpr char associatedPowerManagementService[] =
    "http://schemas.dmtf.org/wbem/wscim/1/cim-schema/2/CIM_AssociatedPowerManagementService";
inline constexpr char powerManagementService[] =
    "http://schemas.dmtf.org/wbem/wscim/1/cim-schema/2/CIM_PowerManagementService";
inline constexpr char computerSystem[] = "http://schemas.dmtf.org/wbem/wscim/1/cim-schema/2/CIM_ComputerSystem";
} // namespace ns

namespace action
{
inline constexpr char get[] = "http://schemas.xmlsoap.org/ws/2004/09/transfer/Get";
inline constexpr char getResponse[] = "http://schemas.xmlsoap.org/ws/2004/09/transfer/GetResponse";
inline constexpr char requestPowerStateChange[] =
    "http://schemas.dmtf.org/wbem/wscim/1/cim-schema/2/CIM_PowerManagementService/RequestPowerStateChange";
inline constexpr char requestPowerStateChangeResponse[] =
    "http://schemas.dmtf.org/wbem/wscim/1/cim-schema/2/CIM_PowerManagementService/RequestPowerStateChangeResponse";
} // namespace action

inline constexpr char anonymous[] = "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous";

// What the fake checks, in order, for each POST /wsman (every one is
// recorded in requests() first):
//  1. Digest credentials (unless requireAuth is false): otherwise 401 with
//     WWW-Authenticate: Digest realm="Digest:<32 hex>", nonce="...",
//     stale="false"|"true", qop="auth". The realm is random per fake. The
//     client's uri must be the request target (/wsman), algorithm absent
//     or MD5, and nc must grow for each nonce, so a replayed header is
//     refused. Basic is answered like no header.
//  2. Content-Type application/soap+xml (parameters allowed): otherwise 415.
//  3. The reply mode (setReply); only Normal, MalformedXml and
//     UnfamiliarPrefixes go on to read the envelope.
//  4. The envelope: SOAP 1.2, with wsa:Action, wsa:To, wsa:MessageID and
//     wsman:ResourceURI in the Header; otherwise 400 and a SOAP fault.
// Any other method or path gets httplib's plain 404.
//
// Answers (Content-Type application/soap+xml;charset=UTF-8):
//  - transfer Get on CIM_AssociatedPowerManagementService, no selectors:
//    the instance with AvailableRequestedPowerStates, PowerState (the kept
//    state), RequestedPowerState (the last one accepted), ServiceProvided
//    and UserOfService references.
//  - RequestPowerStateChange on CIM_PowerManagementService (header
//    selectors optional, each must match the service's): one PowerState
//    and a ManagedElement to CIM_ComputerSystem Name=ManagedSystem, else
//    400 wsman:InvalidParameter / wsman:InvalidSelectors. ReturnValue is
//    setReturnValue's, or 1 (not supported) for a state outside
//    2 5 6 7 8 9 10 12 13; on 0 the kept state becomes the one asked for,
//    except 5, 9 and 10, which come back on (2).
//  - Anything else: 400 with wsa:ActionNotSupported, wsa:DestinationUnreachable,
//    wsa:MessageInformationHeaderRequired or wsman:SchemaValidationError.
// Faults carry Sender or Receiver with the subcode as a QName whose prefix
// is declared on the Envelope; RelatesTo echoes the request's MessageID.
// httplib's pool has 8 threads: more requests held by Silent than that
// leave the rest queued until release.
class FakeAmt
{
public:
    struct Options {
        std::string user = "admin";
        std::string password = "Pawtrel*5";
        bool requireAuth = true; // false: answers without a challenge (bench: what the challenge adds)
        int powerState = 2;      // CIM PowerState: 2 on, 8 off (soft), 7 hibernate, 6 off (hard)...
        // PEM files: with both, the fake serves https, as firmware set up for
        // TLS does on port 16993.
        std::string certificate, key;
    };
    enum class Reply {
        Normal,
        // Reads the request and never answers, until the mode changes or the
        // fake is destroyed; the held request then gets a bare 503.
        Silent,
        // 200 with the answer cut short; the operation still takes effect,
        // as when a reply is lost after the firmware acted.
        MalformedXml,
        // The same answer under other prefixes: the envelope and addressing
        // renamed, wsman as x1, the class namespace the body element's
        // default, so only a client matching namespace URIs reads it.
        UnfamiliarPrefixes,
        SoapFault,    // 400, a wsman:AccessDenied fault (a user without the power realm); nothing changes
        HttpError500, // 500, a wsman:InternalError fault; nothing changes
    };
    struct Request {
        std::string authorization, contentType, body;
    };

    FakeAmt(); // Options{}: GCC takes no default argument of a nested struct with initializers
    explicit FakeAmt(Options options);
    ~FakeAmt(); // returns promptly, releasing requests held by Silent
    FakeAmt(const FakeAmt &) = delete;
    FakeAmt &operator=(const FakeAmt &) = delete;

    int port() const;
    std::string url() const; // http(s)://127.0.0.1:<port>/wsman

    int powerState() const;
    void setPowerState(int state);
    // Every later RequestPowerStateChange answers with this ReturnValue
    // (default 0); a nonzero one leaves the state alone.
    void setReturnValue(uint32_t value);
    void setReply(Reply reply);
    // Nonces issued so far stop being accepted; a request that is otherwise
    // right gets 401 with stale="true" and a fresh nonce, as firmware does
    // when its nonce lifetime runs out.
    void expireNonces();

    std::vector<Request> requests() const; // every POST /wsman received, in order
    int challenges() const;                // 401s sent
    int answered() const;                  // authenticated requests that reached the reply mode

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

// Envelope readers: namespace-aware, whitespace around texts trimmed. They
// take an envelope, or a body element alone (as in Envelope::body).
struct Envelope {
    bool parsed = false; // well-formed, a SOAP 1.2 Envelope with Header and Body
    std::string action, to, messageId, relatesTo, replyTo /* its Address */, resourceUri;
    std::map<std::string, std::string> selectors; // the Header's SelectorSet, Name → text
    // The Body's element children serialized, each carrying the namespace
    // declarations it needs.
    std::string body;
};
Envelope parseEnvelope(const std::string &xml);

// Texts of the elements at a path below the Body, each step a local name in
// namespace `ns`: {"CIM_AssociatedPowerManagementService", "PowerState"}.
// All matches of the last step, in document order; an empty path or an
// unparsable document gives none.
std::vector<std::string> bodyTexts(const std::string &xml, const std::string &ns,
                                   const std::vector<std::string> &localNames);
// The first of bodyTexts, or "" when there is none.
std::string bodyText(const std::string &xml, const std::string &ns, const std::vector<std::string> &localNames);

// An endpoint reference (wsa:Address, wsa:ReferenceParameters holding
// wsman:ResourceURI and wsman:SelectorSet) at a path below the Body.
struct Reference {
    bool found = false;
    std::string address, resourceUri;
    std::map<std::string, std::string> selectors;
};
Reference bodyReference(const std::string &xml, const std::string &ns, const std::vector<std::string> &localNames);
// RequestPowerStateChange_INPUT/ManagedElement.
Reference managedElement(const std::string &xml);

} // namespace halvo::fake

#endif
