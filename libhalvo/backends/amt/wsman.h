// Intel AMT power control over WS-Management: what HalvoGetSystemStateAmt and
// HalvoSetSystemStateAmt do for an address the simulated world does not know.
//
// Each call is one SOAP exchange, POST /wsman, authenticated by HTTP Digest
// only (the firmware's realm is "Digest:<hex>"; Basic is never offered, so a
// password never crosses the network in the clear). Settings:
//   amt_tls = on                  https on port 16993 instead of http on 16992
//   amt_port = N                  another port (tests: the fake's)
//   amt_ca = <path>               the CA that signed the firmware's certificate
//   amt_connect_timeout_ms = 3000 and amt_timeout_ms = 10000 (whole exchange)
// Statuses: refused credentials (or a certificate that does not verify) are
// the access class; an address that does not answer in time the connection
// class; any other HTTP or SOAP fault, an unexpected reply or a nonzero
// ReturnValue the device class.
#ifndef HALVO_AMT_WSMAN_H
#define HALVO_AMT_WSMAN_H

#include "../../settings.h"

#include <cstdint>
#include <string>

namespace halvo::amt
{

// CIM_PowerManagementService PowerState values used here.
enum AmtPowerState : int32_t {
    kAmtOn = 2,
    kAmtOffHard = 6,
    kAmtHibernate = 7,
    kAmtOffSoft = 8,
    kAmtMasterBusReset = 10,
    kAmtOffSoftGraceful = 12,
    kAmtOffHardGraceful = 13,
};

// The board API's state code for a PowerState the firmware reports:
// HALVO_SYSTEM_STATE_UNKNOWN for one the API has no code for (sleeping,
// power cycling, a value from a newer firmware).
int32_t boardState(int64_t amtState);
// The PowerState that carries out a requested board state; false for a code
// that requests nothing.
bool amtRequest(int32_t boardState, int32_t &amtState);

struct Target {
    std::string host; // as it goes into a URL: an IPv6 literal in brackets
    int port = 16992;
    bool tls = false;
    std::string ca;
    int64_t connectMs = 3000;
    int64_t totalMs = 10000;
    std::string url() const;
};

// False when `address` is not an IPv4 or IPv6 address or a host name (so
// nothing of it can reach the URL or the envelope but the host).
bool targetFor(const std::string &address, const Settings &settings, Target &out);

// The request envelopes, with a fresh MessageID each.
std::string getPowerStateEnvelope(const Target &target);
std::string requestPowerStateChangeEnvelope(const Target &target, int32_t amtState);

// Reply parsing, by namespace (replies use varying prefixes); the device
// class for a fault, malformed XML or a reply without the value.
int32_t parsePowerState(const std::string &xml, int64_t &powerState);
int32_t parseReturnValue(const std::string &xml, int64_t &returnValue);

int32_t getSystemState(const std::string &address, const std::string &userName, const std::string &password,
                       const Settings &settings, int32_t &state);
int32_t setSystemState(const std::string &address, const std::string &userName, const std::string &password,
                       const Settings &settings, int32_t state);

} // namespace halvo::amt

#endif
