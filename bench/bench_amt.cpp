// One AMT power-state query against the fake firmware on loopback, and what
// its digest challenge round adds. The library always takes two rounds: an
// empty probe that the firmware answers with its challenge (libcurl holds
// the envelope back until it can authenticate) and the signed request. The
// second benchmark posts the same envelope once, on a fresh connection each
// time as the library does, to a fake that asks for no credentials.
#include "../tests/amt/fake_amt.h"
#include "board/halvo.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <curl/curl.h>
#include <string>
#include <unistd.h>

namespace
{

// The library's settings file naming the fake's port, for one benchmark.
class Conf
{
public:
    explicit Conf(int port)
    {
        char name[] = "/tmp/halvo-bench-amt.XXXXXX";
        const int fd = mkstemp(name);
        path_ = name;
        const std::string text = "board = demo\namt_port = " + std::to_string(port) + "\n";
        ok_ = fd >= 0 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        if (fd >= 0)
            close(fd);
        setenv("HALVO_CONF", path_.c_str(), 1);
    }
    ~Conf()
    {
        unsetenv("HALVO_CONF");
        unlink(path_.c_str());
    }
    bool ok() const { return ok_; }

private:
    std::string path_;
    bool ok_ = false;
};

bool query()
{
    int32_t power = -1;
    return HalvoGetSystemStateAmt("127.0.0.1", "admin", "Pawtrel*5", &power) == 0 && power == 0;
}

size_t discard(char *, size_t size, size_t count, void *)
{
    return size * count;
}

void BM_AmtGet(benchmark::State &state)
{
    halvo::fake::FakeAmt fake;
    Conf conf(fake.port());
    if (!conf.ok())
        return state.SkipWithError("settings file");
    for (auto _ : state)
        if (!query())
            return state.SkipWithError("query failed");
    state.counters["rounds"] = benchmark::Counter(fake.requests().size() / double(state.iterations()));
}

void BM_AmtOneRoundWithoutChallenge(benchmark::State &state)
{
    std::string envelope;
    {
        halvo::fake::FakeAmt fake;
        Conf conf(fake.port());
        if (!conf.ok() || !query())
            return state.SkipWithError("query failed");
        envelope = fake.requests().back().body;
    }
    halvo::fake::FakeAmt::Options options;
    options.requireAuth = false;
    halvo::fake::FakeAmt fake(options);
    curl_slist *headers = curl_slist_append(nullptr, "Content-Type: application/soap+xml;charset=UTF-8");
    for (auto _ : state) {
        CURL *curl = curl_easy_init();
        curl_easy_setopt(curl, CURLOPT_URL, fake.url().c_str());
        curl_easy_setopt(curl, CURLOPT_PROXY, "");
        curl_easy_setopt(curl, CURLOPT_TCP_NODELAY, 1L);
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, envelope.c_str());
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discard);
        long status = 0;
        const CURLcode code = curl_easy_perform(curl);
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        curl_easy_cleanup(curl);
        if (code != CURLE_OK || status != 200) {
            state.SkipWithError("post failed");
            break;
        }
    }
    curl_slist_free_all(headers);
}

} // namespace

BENCHMARK(BM_AmtGet)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AmtOneRoundWithoutChallenge)->UseRealTime()->Unit(benchmark::kMicrosecond);
