#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

#include <string>
#include <utility>

#include "platform/Paths.h"

namespace platform {

DynamicLibrary::~DynamicLibrary() { Unload(); }

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), error_(std::move(other.error_)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
  if (this != &other) {
    Unload();
    handle_ = std::exchange(other.handle_, nullptr);
    error_ = std::move(other.error_);
  }
  return *this;
}

bool DynamicLibrary::Load(std::string_view nameOrPath) {
  Unload();
  error_.clear();
  if (nameOrPath.empty() || nameOrPath.find('\0') != std::string_view::npos) {
    error_ = "invalid library name";
    return false;
  }
  const std::string file = MapFileName(nameOrPath);
  // Bind everything now so that a library with a missing dependency symbol fails here, where
  // the caller handles a load failure, instead of aborting the process at the first call.
  // Local binding keeps a loaded library's symbols from resolving anyone else's references.
  handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* message = dlerror();
    error_ = message != nullptr ? message : "cannot load " + file;
    return false;
  }
  return true;
}

void* DynamicLibrary::Resolve(const char* symbol) const {
  if (handle_ == nullptr || symbol == nullptr || *symbol == '\0') return nullptr;
  dlerror();
  return dlsym(handle_, symbol);
}

void DynamicLibrary::Unload() {
  if (handle_ != nullptr) {
    dlclose(handle_);
    handle_ = nullptr;
  }
}

}  // namespace platform
