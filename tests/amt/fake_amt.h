// A stand-in for a board's AMT firmware on a free 127.0.0.1 port, for the
// AMT client's tests and bench: WS-Management on POST /wsman behind HTTP
// Digest (MD5, qop=auth, realm "Digest:<hex>"), answering the power state
// Get and RequestPowerStateChange, and misbehaving on demand. Also the
// namespace-aware readers the tests check the client's envelopes with.
#ifndef HALVO_FAKE_AMT_H
#define HALVO_FAKE_AMT_H

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace halvo::fake
{

// Namespace URIs; prefixes mean nothing on the wire. A CIM class's
// ResourceURI doubles as the namespace of its properties and methods.
namespace ns
{
inline constexpr char soap[] = "http://www.w3.org/2003/05/soap-envelope";
inline constexpr char addressing[] = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
inline constexpr char wsman[] = "http://schemas.dmtf.org/wbem/wsman/1/wsman.xsd";
inline constexpr char associatedPowerManagementService[] =
    "http://schemas.dmtf.org/wbem/wscim/1/cim-schema/2/CIM_AssociatedPowerManagementService";
inline constexpr char powerManagementService[] =
    "http://schemas.dmtf.org/wbem/wscim/1/cim-schema/2/CIM_PowerManagementService";
inline constexpr char computerSystem[] = "http://schemas.dmtf.org/wbem/wscim/1/cim-schema/2/CIM_ComputerSystem";
} // namespace ns

namespace action
{
inline constexpr char get[] = "http://schemas.xmlsoap.org/ws/2004/09/transfer/Get";
inline constexpr char requestPowerStateChange[] =
    "http://schemas.dmtf.org/wbem/wscim/1/cim-schema/2/CIM_PowerManagementService/RequestPowerStateChange";
} // namespace action

inline constexpr char anonymous[] = "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous";

// Every POST /wsman is recorded, then: without valid Digest credentials
// (Basic counts as none) 401 and a challenge; then the reply mode; then the
// envelope, answered or refused with a SOAP fault.
class FakeAmt
{
public:
    struct Options {
        std::string user = "admin";
        std::string password = "Pawtrel*5";
        bool requireAuth = true; // false: answers without a challenge
        int powerState = 2;      // CIM PowerState: 2 on, 8 off, 7 hibernate...
        // PEM files: with both, https, as firmware set up for TLS serves.
        std::string certificate, key;
    };
    enum class Reply {
        Normal,
        Silent,             // reads the request, answers nothing until destroyed
        MalformedXml,       // 200 with the answer cut short (the change still happens)
        UnfamiliarPrefixes, // the same answer under other prefixes and a default namespace
        SoapFault,          // 400 and a fault; nothing changes
        HttpError500,       // 500 and a fault; nothing changes
    };
    struct Request {
        std::string authorization, contentType, body;
    };

    FakeAmt();
    explicit FakeAmt(Options options);
    ~FakeAmt();
    FakeAmt(const FakeAmt &) = delete;
    FakeAmt &operator=(const FakeAmt &) = delete;

    int port() const;
    std::string url() const; // http(s)://127.0.0.1:<port>/wsman
    int powerState() const;
    void setPowerState(int state);
    // The ReturnValue of later changes; a nonzero one leaves the state alone.
    void setReturnValue(uint32_t value);
    void setReply(Reply reply);
    // Issued nonces turn stale: the next request is challenged again, with
    // stale="true", as firmware does when a nonce's lifetime is over.
    void expireNonces();
    std::vector<Request> requests() const;
    int challenges() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

struct Envelope {
    bool parsed = false; // a SOAP 1.2 Envelope with Header and Body
    std::string action, to, messageId, replyTo, resourceUri;
    std::map<std::string, std::string> selectors; // the Header's, Name → text
};
Envelope parseEnvelope(const std::string &xml);

// The text at a path of local names in namespace `ns` below the Body, e.g.
// {"RequestPowerStateChange_INPUT", "PowerState"}; "" when there is none.
std::string bodyText(const std::string &xml, const std::string &ns, const std::vector<std::string> &path);

// RequestPowerStateChange_INPUT/ManagedElement: the endpoint reference.
struct Reference {
    bool found = false;
    std::string resourceUri;
    std::map<std::string, std::string> selectors;
};
Reference managedElement(const std::string &xml);

} // namespace halvo::fake

#endif
