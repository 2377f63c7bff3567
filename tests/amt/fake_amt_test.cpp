// The fake AMT driven by libcurl's own Digest, so a fault in the fake's
// challenge or its checks shows up against a client written by others.
#include "fake_amt.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <thread>

using namespace halvo::fake;

namespace
{

struct Reply {
    long status = 0;
    std::string body;
    CURLcode code = CURLE_OK;
};

class Curl
{
public:
    explicit Curl(const std::string &password = "Pawtrel*5", long auth = CURLAUTH_DIGEST,
                  const std::vector<std::string> &extra = {"Content-Type: application/soap+xml;charset=UTF-8"})
        : handle(curl_easy_init())
    {
        curl_easy_setopt(handle, CURLOPT_HTTPAUTH, auth);
        curl_easy_setopt(handle, CURLOPT_USERNAME, "admin");
        curl_easy_setopt(handle, CURLOPT_PASSWORD, password.c_str());
        curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, 5000L);
        curl_easy_setopt(
            handle, CURLOPT_WRITEFUNCTION, +[](char *data, size_t, size_t n, void *out) {
                static_cast<std::string *>(out)->append(data, n);
                return n;
            });
        for (const std::string &header : extra)
            headers = curl_slist_append(headers, header.c_str());
        curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
    }
    ~Curl()
    {
        curl_slist_free_all(headers);
        curl_easy_cleanup(handle);
    }
    Reply post(const FakeAmt &amt, const std::string &body)
    {
        Reply r;
        curl_easy_setopt(handle, CURLOPT_URL, amt.url().c_str());
        curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.c_str());
        curl_easy_setopt(handle, CURLOPT_WRITEDATA, &r.body);
        r.code = curl_easy_perform(handle);
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &r.status);
        return r;
    }
    CURL *handle;
    curl_slist *headers = nullptr;
};

std::string envelope(const std::string &action, const std::string &resource, const std::string &body)
{
    return std::string("<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"") + ns::soap + "\" xmlns:a=\"" + ns::addressing +
           "\" xmlns:w=\"" + ns::wsman + "\"><s:Header><a:Action>" + action +
           "</a:Action><a:To>http://127.0.0.1/wsman</a:To><w:ResourceURI>" + resource +
           "</w:ResourceURI><a:MessageID>uuid:test-1</a:MessageID></s:Header><s:Body>" + body +
           "</s:Body></s:Envelope>";
}

const std::string getPower = envelope(action::get, ns::associatedPowerManagementService, "");

std::string changePower(int state, const std::string &system = "ManagedSystem")
{
    return envelope(action::requestPowerStateChange, ns::powerManagementService,
                    std::string("<p:RequestPowerStateChange_INPUT xmlns:p=\"") + ns::powerManagementService +
                        "\"><p:PowerState>" + std::to_string(state) + "</p:PowerState><p:ManagedElement><a:Address>" +
                        anonymous + "</a:Address><a:ReferenceParameters><w:ResourceURI>" + ns::computerSystem +
                        "</w:ResourceURI><w:SelectorSet><w:Selector Name=\"Name\">" + system +
                        "</w:Selector></w:SelectorSet></a:ReferenceParameters></p:ManagedElement>"
                        "</p:RequestPowerStateChange_INPUT>");
}

const std::vector<std::string> powerStatePath = {"CIM_AssociatedPowerManagementService", "PowerState"};

} // namespace

TEST(FakeAmt, DigestGetAnswersTheKeptStateAndStaleNoncesReauthenticate)
{
    FakeAmt amt;
    amt.setPowerState(8);
    Curl curl;
    const Reply r = curl.post(amt, getPower);
    ASSERT_EQ(r.status, 200);
    const Envelope e = parseEnvelope(r.body);
    EXPECT_EQ(e.action, action::getResponse);
    EXPECT_EQ(e.relatesTo, "uuid:test-1");
    EXPECT_EQ(bodyText(r.body, ns::associatedPowerManagementService, powerStatePath), "8");
    // Envelope::body stands alone: its prefixes were declared on the Envelope.
    EXPECT_EQ(bodyText(e.body, ns::associatedPowerManagementService, powerStatePath), "8");
    EXPECT_EQ(bodyReference(r.body, ns::associatedPowerManagementService,
                            {"CIM_AssociatedPowerManagementService", "UserOfService"})
                  .selectors.at("Name"),
              "ManagedSystem");
    EXPECT_EQ(amt.challenges(), 1);
    ASSERT_EQ(amt.requests().size(), 2u);
    EXPECT_EQ(amt.requests()[1].authorization.rfind("Digest ", 0), 0u);

    // curl answers stale="true" by signing again with the new nonce.
    amt.expireNonces();
    EXPECT_EQ(curl.post(amt, getPower).status, 200);
    EXPECT_EQ(amt.challenges(), 2);
}

TEST(FakeAmt, RefusedCredentials)
{
    FakeAmt amt;
    EXPECT_EQ(Curl("Pawtrel*6").post(amt, getPower).status, 401);
    EXPECT_EQ(Curl("Pawtrel*5", CURLAUTH_BASIC).post(amt, getPower).status, 401);
    EXPECT_EQ(amt.requests().back().authorization.rfind("Basic ", 0), 0u);
    EXPECT_EQ(amt.answered(), 0);

    // Right credentials, wrong media type: past the challenge, then 415.
    EXPECT_EQ(Curl("Pawtrel*5", CURLAUTH_DIGEST, {"Content-Type: text/xml"}).post(amt, getPower).status, 415);
    // A signed header sent again keeps its nonce count, so it is a replay.
    const std::string signedHeader = "Authorization: " + amt.requests().back().authorization;
    EXPECT_EQ(Curl("", CURLAUTH_NONE, {signedHeader, "Content-Type: application/soap+xml"}).post(amt, getPower).status,
              401);
    EXPECT_EQ(amt.answered(), 0);
}

TEST(FakeAmt, PowerStateChange)
{
    FakeAmt amt;
    Curl curl;
    Reply r = curl.post(amt, changePower(8));
    ASSERT_EQ(r.status, 200);
    EXPECT_EQ(bodyText(r.body, ns::powerManagementService, {"RequestPowerStateChange_OUTPUT", "ReturnValue"}), "0");
    EXPECT_EQ(amt.powerState(), 8);
    EXPECT_EQ(managedElement(amt.requests().back().body).resourceUri, ns::computerSystem);

    EXPECT_EQ(curl.post(amt, changePower(10)).status, 200);
    EXPECT_EQ(amt.powerState(), 2) << "a master bus reset comes back on";

    amt.setReturnValue(2);
    r = curl.post(amt, changePower(8));
    EXPECT_EQ(bodyText(r.body, ns::powerManagementService, {"RequestPowerStateChange_OUTPUT", "ReturnValue"}), "2");
    EXPECT_EQ(amt.powerState(), 2);

    r = curl.post(amt, changePower(8, "OtherSystem"));
    EXPECT_EQ(r.status, 400);
    EXPECT_NE(r.body.find("InvalidSelectors"), std::string::npos);
}

TEST(FakeAmt, ReplyModes)
{
    FakeAmt amt;
    Curl curl;
    amt.setReply(FakeAmt::Reply::UnfamiliarPrefixes);
    Reply r = curl.post(amt, getPower);
    ASSERT_EQ(r.status, 200);
    EXPECT_EQ(r.body.find("g:PowerState"), std::string::npos);
    EXPECT_EQ(bodyText(r.body, ns::associatedPowerManagementService, powerStatePath), "2");

    amt.setReply(FakeAmt::Reply::MalformedXml);
    EXPECT_FALSE(parseEnvelope(curl.post(amt, getPower).body).parsed);
    amt.setReply(FakeAmt::Reply::HttpError500);
    EXPECT_TRUE(parseEnvelope(curl.post(amt, getPower).body).parsed);

    amt.setReply(FakeAmt::Reply::Silent);
    curl_easy_setopt(curl.handle, CURLOPT_TIMEOUT_MS, 300L);
    EXPECT_EQ(curl.post(amt, getPower).code, CURLE_OPERATION_TIMEDOUT);
}

TEST(FakeAmt, DestructionReleasesAHeldRequestPromptly)
{
    std::optional<FakeAmt> amt(std::in_place);
    amt->setReply(FakeAmt::Reply::Silent);
    Reply r;
    std::thread client([&] { r = Curl().post(*amt, getPower); });
    while (amt->answered() == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    // The client's connection is still open while the fake goes.
    const auto start = std::chrono::steady_clock::now();
    amt.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    client.join();
    EXPECT_NE(r.status, 200);
}
