#pragma once
// LoadLibrary/GetProcAddress/FreeLibrary over dlopen. Names go through MapFileName, so
// "qmlog.dll" loads "qmlog.so"; a bare name uses the system's search, a path is used as is.
#include <string>
#include <string_view>

namespace platform {

class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  ~DynamicLibrary();  // unloads
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;
  DynamicLibrary(DynamicLibrary&&) noexcept;
  DynamicLibrary& operator=(DynamicLibrary&&) noexcept;

  bool Load(std::string_view nameOrPath);
  bool IsLoaded() const { return handle_ != nullptr; }
  void* Resolve(const char* symbol) const;  // nullptr when absent or not loaded
  void Unload();
  // Give up ownership without unloading (a library a late thread may still call into).
  void Leak() { handle_ = nullptr; }
  const std::string& LastError() const { return error_; }

 private:
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace platform
