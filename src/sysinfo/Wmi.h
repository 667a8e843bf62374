#pragma once
// The management-interface session the detectors use: COM readiness, locator, connection to
// ROOT\CIMV2, proxy blanket, a WQL query and objects read one at a time, each property fetched
// into a variant. Behind it sits a provider that answers "Select * From <class>"; the program
// uses the machine's own provider, tests inject theirs.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvane {

using HRESULT = std::int32_t;
inline constexpr HRESULT kS_OK = 0;
inline constexpr HRESULT kS_FALSE = 1;  // WBEM_S_FALSE: fewer objects than asked for
inline constexpr HRESULT kE_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT kWBEM_E_FAILED = static_cast<HRESULT>(0x80041001u);
inline constexpr HRESULT kWBEM_E_NOT_FOUND = static_cast<HRESULT>(0x80041002u);
inline constexpr HRESULT kWBEM_E_INVALID_PARAMETER = static_cast<HRESULT>(0x80041008u);
inline constexpr HRESULT kWBEM_E_INVALID_NAMESPACE = static_cast<HRESULT>(0x8004100Eu);
inline constexpr HRESULT kWBEM_E_INVALID_QUERY_TYPE = static_cast<HRESULT>(0x80041011u);
inline constexpr HRESULT kREGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
inline constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }

inline constexpr std::uint32_t kWbemFlagForwardOnly = 0x20;
inline constexpr std::uint32_t kWbemFlagReturnImmediately = 0x10;
inline constexpr long kWbemInfinite = -1;

inline constexpr std::string_view kClsidWbemLocator = "{4590F811-1D3A-11D0-891F-00AA004B2E24}";
inline constexpr std::string_view kIidWbemLocator = "{DC12A687-737F-11CF-884D-00AA004B2E24}";
inline constexpr std::uint32_t kClsctxInprocServer = 0x1;
inline constexpr std::uint32_t kClsctxLocalServer = 0x4;

// Variant types the program distinguishes.
enum VarType : std::uint16_t { VT_EMPTY = 0, VT_NULL = 1, VT_I4 = 3, VT_BSTR = 8, VT_BOOL = 11 };

struct Variant {
  VarType vt = VT_EMPTY;
  std::int32_t lVal = 0;   // VT_I4, and VT_BOOL as 0 / -1
  std::string bstrVal;     // VT_BSTR (UTF-8 inside the program)

  static Variant String(std::string text) {
    Variant v;
    v.vt = VT_BSTR;
    v.bstrVal = std::move(text);
    return v;
  }
  static Variant Int32(std::int32_t value) {
    Variant v;
    v.vt = VT_I4;
    v.lVal = value;
    return v;
  }
  static Variant Bool(bool value) {
    Variant v;
    v.vt = VT_BOOL;
    v.lVal = value ? -1 : 0;
    return v;
  }
  static Variant Null() {
    Variant v;
    v.vt = VT_NULL;
    return v;
  }
  void Clear() { *this = Variant(); }
  friend bool operator==(const Variant&, const Variant&) = default;
};

// One management object: its class and its properties in the provider's order.
class WmiObject {
 public:
  WmiObject() = default;
  explicit WmiObject(std::string className) : className_(std::move(className)) {}

  const std::string& ClassName() const { return className_; }
  // Adds or replaces a property.
  void Put(std::string_view name, Variant value);
  // Reads a property into *out (names compare without regard to case); kWBEM_E_NOT_FOUND when
  // the class has no such property, with *out cleared.
  HRESULT Get(std::string_view name, Variant* out) const;
  const std::vector<std::pair<std::string, Variant>>& Properties() const { return properties_; }

 private:
  std::string className_;
  std::vector<std::pair<std::string, Variant>> properties_;
};

// Answers class queries. Instances() is only asked for a class name as written in the query.
class WmiProvider {
 public:
  virtual ~WmiProvider() = default;
  // All instances of the class (name compared without regard to case); empty when unknown.
  virtual std::vector<WmiObject> Instances(std::string_view className) = 0;
};

// The machine's provider (the Linux sources) unless a test replaced it.
std::shared_ptr<WmiProvider> CurrentWmiProvider();
// Tests: replace the provider for this process; nullptr restores the machine's provider.
void SetWmiProviderForTesting(std::shared_ptr<WmiProvider> provider);
// Tests: make the next session steps fail at a given step (0 = none): 1 COM security,
// 2 locator, 3 connect, 4 proxy blanket, 5 query.
void SetWmiFailureStepForTesting(int step);

// The class name of a "Select * From <class>" text (case-insensitive keywords, any white space);
// "" for any other query.
std::string WqlSelectAllClass(std::string_view query);

// 1 when COM is ready for this process (set once; later calls return at once).
int EnsureComSecurity();

class WbemClassEnumerator {
 public:
  explicit WbemClassEnumerator(std::vector<WmiObject> objects) : objects_(std::move(objects)) {}
  // Hands out up to `count` objects (the program asks for 1). kS_FALSE with *returned 0 at the end.
  HRESULT Next(long timeoutMs, std::uint32_t count, std::unique_ptr<WmiObject>* out, std::uint32_t* returned);

 private:
  std::vector<WmiObject> objects_;
  std::size_t next_ = 0;
};

class WbemServices {
 public:
  explicit WbemServices(std::shared_ptr<WmiProvider> provider) : provider_(std::move(provider)) {}
  HRESULT ExecQuery(std::string_view language, std::string_view query, std::uint32_t flags,
                    std::unique_ptr<WbemClassEnumerator>* out);
  bool blanketSet = false;

 private:
  std::shared_ptr<WmiProvider> provider_;
};

class WbemLocator {
 public:
  HRESULT ConnectServer(std::string_view nameSpace, std::string_view user, std::string_view password,
                        std::string_view locale, long securityFlags, std::string_view authority,
                        std::unique_ptr<WbemServices>* out);
};

// CoCreateInstance of the locator class with the locator interface.
HRESULT CreateWbemLocator(std::string_view clsid, std::uint32_t context, std::string_view iid,
                          std::unique_ptr<WbemLocator>* out);

inline constexpr std::uint32_t kRpcAuthnWinNt = 10;
inline constexpr std::uint32_t kRpcAuthzNone = 0;
inline constexpr std::uint32_t kRpcAuthnLevelCall = 3;
inline constexpr std::uint32_t kRpcImpLevelImpersonate = 3;
HRESULT CoSetProxyBlanket(WbemServices* services, std::uint32_t authn, std::uint32_t authz,
                          std::uint32_t authnLevel, std::uint32_t impLevel);

// The session steps in order for one query; empty (and false) at the first failing step.
class WmiQuery {
 public:
  // Runs steps 1..5 for the query text.
  explicit WmiQuery(std::string_view wql);
  bool Ok() const { return enumerator_ != nullptr; }
  // Next object, or nullptr at the end. An answer that carries an error code but an object is
  // skipped, as the session rules say.
  std::unique_ptr<WmiObject> Next();

 private:
  std::unique_ptr<WbemLocator> locator_;
  std::unique_ptr<WbemServices> services_;
  std::unique_ptr<WbemClassEnumerator> enumerator_;
};

// Property helpers with the detectors' type rules: text only from VT_BSTR, integers only from VT_I4.
bool GetStringProperty(const WmiObject& object, std::string_view name, std::string* out);
bool GetInt32Property(const WmiObject& object, std::string_view name, std::int32_t* out);

}  // namespace korvane
