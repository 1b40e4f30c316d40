#include "FaultPlan.h"

#include <algorithm>
#include <numeric>
#include <random>

namespace kv37::sim {

std::vector<uint16_t> RequestOrder(unsigned pages, const FaultPlan& plan) {
  std::vector<uint16_t> regular(pages);
  std::iota(regular.begin(), regular.end(), uint16_t{0});
  if (plan.randomOrder) {
    // mt19937 and a hand-rolled Fisher-Yates: std::shuffle's result is not
    // fixed across standard libraries, and a seed must replay the same run.
    std::mt19937 rng(plan.seed);
    for (std::size_t i = regular.size(); i > 1; --i) std::swap(regular[i - 1], regular[rng() % i]);
  }
  std::vector<uint16_t> order;
  order.reserve(regular.size() * 2 + 1);
  for (std::size_t i = 0; i < regular.size(); ++i) {
    order.push_back(regular[i]);
    if (plan.repeatEvery > 0 && (i + 1) % plan.repeatEvery == 0) order.push_back(regular[i]);
  }
  if (plan.beyondPage) order.push_back(*plan.beyondPage);
  return order;
}

std::vector<uint16_t> PlannedPages(unsigned pages, const FaultPlan& plan) {
  std::vector<uint16_t> planned(pages);
  std::iota(planned.begin(), planned.end(), uint16_t{0});
  if (plan.beyondPage) planned.push_back(*plan.beyondPage);
  return planned;
}

RequestFault FaultFor(const FaultPlan& plan, uint16_t page) {
  if (plan.splitPage == page) return RequestFault::Split;
  if (plan.badChecksumPage == page) return RequestFault::BadChecksum;
  if (plan.badDelimiterPage == page) return RequestFault::BadDelimiter;
  return RequestFault::None;
}

}  // namespace kv37::sim
