// Lookup and handler cost for the embedded frontend.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "frontend_assets.h"
#include "frontend_assets_test_support.h"
#include "frontend_protocol_handler.h"

namespace {

void BM_LookupHit(benchmark::State& state) {
  for (auto _ : state) {
    auto asset = FrontendAssetTable::lookup("entrypoints/js_app/js_app.js");
    benchmark::DoNotOptimize(asset);
  }
}
BENCHMARK(BM_LookupHit);

void BM_LookupMiss(benchmark::State& state) {
  for (auto _ : state) {
    auto asset = FrontendAssetTable::lookup("entrypoints/js_app/js_app.jsx");
    benchmark::DoNotOptimize(asset);
  }
}
BENCHMARK(BM_LookupMiss);

void BM_LookupAllPaths(benchmark::State& state) {
  const auto records = frontend_asset_records();
  for (auto _ : state) {
    for (const FrontendAsset& record : records) {
      auto asset = FrontendAssetTable::lookup(record.path);
      benchmark::DoNotOptimize(asset);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(records.size()));
}
BENCHMARK(BM_LookupAllPaths);

// One request per table path, as the web view would build it: the copy into the by-value
// request is part of the cost.
void BM_HandlerAllPaths(benchmark::State& state) {
  std::vector<ProtocolRequest> requests;
  for (const FrontendAsset& record : frontend_asset_records()) {
    ProtocolRequest request;
    request.method = "GET";
    request.uri.scheme = "devtools";
    request.uri.authority = "devtools.localhost";
    request.uri.path.assign(1, '/');
    request.uri.path.insert(request.uri.path.end(), record.path.begin(), record.path.end());
    requests.push_back(std::move(request));
  }
  for (auto _ : state) {
    for (const ProtocolRequest& request : requests) {
      ProtocolResponse response = FrontendProtocolHandler("", request);
      benchmark::DoNotOptimize(response);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(requests.size()));
}
BENCHMARK(BM_HandlerAllPaths);

}  // namespace

BENCHMARK_MAIN();
