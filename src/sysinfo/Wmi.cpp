#include "sysinfo/Wmi.h"

#include <atomic>
#include <mutex>

#include "platform/Text.h"
#include "sysinfo/LinuxWmiProvider.h"

namespace korvane {

namespace {

std::mutex gProviderMutex;
std::shared_ptr<WmiProvider> gTestProvider;
std::atomic<int> gFailStep{0};
std::atomic<int> gComReady{0};

bool FailAt(int step) { return gFailStep.load() == step; }

}  // namespace

void WmiObject::Put(std::string_view name, Variant value) {
  for (auto& [key, existing] : properties_) {
    if (platform::EqualsIgnoreCase(key, name)) {
      existing = std::move(value);
      return;
    }
  }
  properties_.emplace_back(std::string(name), std::move(value));
}

HRESULT WmiObject::Get(std::string_view name, Variant* out) const {
  if (out == nullptr) return kWBEM_E_INVALID_PARAMETER;
  out->Clear();
  for (const auto& [key, value] : properties_) {
    if (platform::EqualsIgnoreCase(key, name)) {
      *out = value;
      return kS_OK;
    }
  }
  return kWBEM_E_NOT_FOUND;
}

std::shared_ptr<WmiProvider> CurrentWmiProvider() {
  std::lock_guard lock(gProviderMutex);
  if (gTestProvider) return gTestProvider;
  return std::make_shared<LinuxWmiProvider>();
}

void SetWmiProviderForTesting(std::shared_ptr<WmiProvider> provider) {
  std::lock_guard lock(gProviderMutex);
  gTestProvider = std::move(provider);
}

void SetWmiFailureStepForTesting(int step) { gFailStep = step; }

std::string WqlSelectAllClass(std::string_view query) {
  // Tokens split on white space: "select", "*", "from", class; nothing else is accepted.
  std::vector<std::string_view> tokens;
  std::size_t i = 0;
  while (i < query.size()) {
    while (i < query.size() && (query[i] == ' ' || query[i] == '\t' || query[i] == '\r' || query[i] == '\n')) ++i;
    const std::size_t start = i;
    while (i < query.size() && !(query[i] == ' ' || query[i] == '\t' || query[i] == '\r' || query[i] == '\n')) ++i;
    if (i > start) tokens.push_back(query.substr(start, i - start));
  }
  if (tokens.size() != 4 || !platform::EqualsIgnoreCase(tokens[0], "select") || tokens[1] != "*" ||
      !platform::EqualsIgnoreCase(tokens[2], "from")) {
    return {};
  }
  for (const char c : tokens[3]) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (!ok) return {};
  }
  return std::string(tokens[3]);
}

int EnsureComSecurity() {
  if (gComReady.load() != 0) return 1;
  if (FailAt(1)) return 0;
  gComReady = 1;
  return 1;
}

HRESULT WbemClassEnumerator::Next(long /*timeoutMs*/, std::uint32_t count, std::unique_ptr<WmiObject>* out,
                                  std::uint32_t* returned) {
  if (out == nullptr || returned == nullptr) return kWBEM_E_INVALID_PARAMETER;
  *returned = 0;
  out->reset();
  if (count == 0) return kS_OK;
  if (next_ >= objects_.size()) return kS_FALSE;
  *out = std::make_unique<WmiObject>(std::move(objects_[next_++]));
  *returned = 1;
  return count == 1 ? kS_OK : kS_FALSE;
}

HRESULT WbemServices::ExecQuery(std::string_view language, std::string_view query, std::uint32_t /*flags*/,
                                std::unique_ptr<WbemClassEnumerator>* out) {
  if (out == nullptr) return kWBEM_E_INVALID_PARAMETER;
  out->reset();
  if (FailAt(5)) return kWBEM_E_FAILED;
  if (!platform::EqualsIgnoreCase(language, "WQL")) return kWBEM_E_INVALID_QUERY_TYPE;
  std::vector<WmiObject> objects;
  const std::string className = WqlSelectAllClass(query);
  if (!className.empty() && provider_) objects = provider_->Instances(className);
  *out = std::make_unique<WbemClassEnumerator>(std::move(objects));
  return kS_OK;
}

HRESULT WbemLocator::ConnectServer(std::string_view nameSpace, std::string_view, std::string_view,
                                   std::string_view, long, std::string_view,
                                   std::unique_ptr<WbemServices>* out) {
  if (out == nullptr) return kWBEM_E_INVALID_PARAMETER;
  out->reset();
  if (FailAt(3) || !platform::EqualsIgnoreCase(nameSpace, "ROOT\\CIMV2")) return kWBEM_E_INVALID_NAMESPACE;
  *out = std::make_unique<WbemServices>(CurrentWmiProvider());
  return kS_OK;
}

HRESULT CreateWbemLocator(std::string_view clsid, std::uint32_t context, std::string_view iid,
                          std::unique_ptr<WbemLocator>* out) {
  if (out == nullptr) return kE_POINTER;
  out->reset();
  if (FailAt(2) || !platform::EqualsIgnoreCase(clsid, kClsidWbemLocator) ||
      !platform::EqualsIgnoreCase(iid, kIidWbemLocator) ||
      (context & (kClsctxInprocServer | kClsctxLocalServer)) == 0) {
    return kREGDB_E_CLASSNOTREG;
  }
  *out = std::make_unique<WbemLocator>();
  return kS_OK;
}

HRESULT CoSetProxyBlanket(WbemServices* services, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {
  if (services == nullptr) return kE_POINTER;
  if (FailAt(4)) return kWBEM_E_FAILED;
  services->blanketSet = true;
  return kS_OK;
}

WmiQuery::WmiQuery(std::string_view wql) {
  // The sessions go on whatever the COM set-up says, as the detectors always did.
  (void)EnsureComSecurity();
  if (!Succeeded(CreateWbemLocator(kClsidWbemLocator, kClsctxInprocServer | kClsctxLocalServer,
                                   kIidWbemLocator, &locator_))) {
    return;
  }
  if (!Succeeded(locator_->ConnectServer("ROOT\\CIMV2", {}, {}, {}, 0, {}, &services_))) return;
  if (!Succeeded(CoSetProxyBlanket(services_.get(), kRpcAuthnWinNt, kRpcAuthzNone, kRpcAuthnLevelCall,
                                   kRpcImpLevelImpersonate))) {
    return;
  }
  std::unique_ptr<WbemClassEnumerator> enumerator;
  if (!Succeeded(services_->ExecQuery("WQL", wql, kWbemFlagForwardOnly | kWbemFlagReturnImmediately,
                                      &enumerator))) {
    return;
  }
  enumerator_ = std::move(enumerator);
}

std::unique_ptr<WmiObject> WmiQuery::Next() {
  if (!enumerator_) return nullptr;
  for (;;) {
    std::unique_ptr<WmiObject> object;
    std::uint32_t returned = 0;
    const HRESULT hr = enumerator_->Next(kWbemInfinite, 1, &object, &returned);
    if (returned == 0 || !object) return nullptr;
    if (Succeeded(hr)) return object;
  }
}

bool GetStringProperty(const WmiObject& object, std::string_view name, std::string* out) {
  Variant v;
  if (!Succeeded(object.Get(name, &v)) || v.vt != VT_BSTR) return false;
  if (out != nullptr) *out = std::move(v.bstrVal);
  return true;
}

bool GetInt32Property(const WmiObject& object, std::string_view name, std::int32_t* out) {
  Variant v;
  if (!Succeeded(object.Get(name, &v)) || v.vt != VT_I4) return false;
  if (out != nullptr) *out = v.lVal;
  return true;
}

}  // namespace korvane
