// One AMT power-state query against the fake firmware on loopback, and what
// its digest challenge round adds. The library always takes two rounds: an
// empty probe that the firmware answers with its challenge (libcurl holds
// the envelope back until it can authenticate) and the signed request. The
// second benchmark posts the same envelope once, on a fresh connection each
// time as the library does, to a fake that asks for no credentials.
#include "../tests/amt/fake_amt.h"
#include "benchwindow.h"
#include "board/halvo.h"

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <string>

namespace
{

// The library's settings naming the fake's port, for one benchmark.
BenchSettings amtPort(const halvo::fake::FakeAmt &fake)
{
    return BenchSettings("board = demo\namt_port = " + std::to_string(fake.port()) + "\n");
}

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
    const BenchSettings settings = amtPort(fake);
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
        const BenchSettings settings = amtPort(fake);
        if (!query())
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
