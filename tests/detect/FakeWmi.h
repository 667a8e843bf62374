#pragma once
// A management-interface provider that answers from objects a test put in.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sysinfo/Wmi.h"

struct FakeWmi : korvane::WmiProvider {
  std::vector<korvane::WmiObject> Instances(std::string_view className) override {
    ++asked[std::string(className)];
    auto it = objects.find(std::string(className));
    return it == objects.end() ? std::vector<korvane::WmiObject>{} : it->second;
  }
  std::map<std::string, std::vector<korvane::WmiObject>> objects;
  std::map<std::string, int> asked;
};

// Installs a fresh fake for one test and restores the machine's provider afterwards.
struct FakeWmiScope {
  FakeWmiScope() : wmi(std::make_shared<FakeWmi>()) { korvane::SetWmiProviderForTesting(wmi); }
  ~FakeWmiScope() {
    korvane::SetWmiFailureStepForTesting(0);
    korvane::SetWmiProviderForTesting(nullptr);
  }
  std::shared_ptr<FakeWmi> wmi;
};
