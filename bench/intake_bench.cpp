// Cost of one search report in the intake: XML parse, series filter and the
// device record (the post into a queue included).
#include <benchmark/benchmark.h>

#include <string>

#include "app/Logger.h"
#include "app/MessageQueue.h"
#include "discovery/SearchIntake.h"

namespace {

std::string Report(int n) {
    return R"(<?xml version="1.0" encoding="utf-8"?>
<multicastSearchResult>
  <mac>00:1A:2B:3C:4D:5E</mac>
  <bootId>8c1f0a2e</bootId>
  <productInfo>
    <productSeries>KMR_IPC_X</productSeries>
    <productModel>IPC-2020</productModel>
    <devName>Gate )" +
           std::to_string(n) + R"(</devName>
    <softwareVer>4.0.2</softwareVer>
    <build>230118</build>
    <softwareBulildDate>2023-01-18</softwareBulildDate>
    <kernelVer>4.9.37</kernelVer>
    <hardwareVer>1.0</hardwareVer>
    <deviceActivated>0</deviceActivated>
  </productInfo>
  <tcpIp>
    <ipAddr>
      <item><ip>192.168.1.64</ip><mask>255.255.255.0</mask></item>
      <item><ip>10.10.1.64</ip><mask>255.255.0.0</mask></item>
    </ipAddr>
  </tcpIp>
  <port>
    <dataPort>9008</dataPort>
    <httpPort>80</httpPort>
  </port>
</multicastSearchResult>)";
}

void BM_IntakeReport(benchmark::State& state) {
    GetLogInstance()->SetLevel(kLogOff);
    auto queue = std::make_shared<CMessageQueue>();
    CSearchIntake intake(queue);
    const std::string xml = Report(7);
    for (auto _ : state) {
        intake.HandleReport("00:1A:2B:3C:4D:5E", 1, xml.c_str());
        benchmark::DoNotOptimize(queue->TryPop());
    }
    state.counters["us_per_report"] =
        benchmark::Counter(static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["target_us"] = 20;
}
BENCHMARK(BM_IntakeReport)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
