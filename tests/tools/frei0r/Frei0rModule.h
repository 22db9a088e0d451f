// The frei0r module opened with dlopen, as a client opens it, with its entry points resolved.
#pragma once

#include <dlfcn.h>
extern "C" {
#include <frei0r.h>
}

#include <cstdint>
#include <stdexcept>
#include <string>

namespace zel::test {

struct Frei0rModule {
  void* handle = nullptr;
  int (*init)() = nullptr;
  void (*deinit)() = nullptr;
  void (*pluginInfo)(f0r_plugin_info_t*) = nullptr;
  void (*paramInfo)(f0r_param_info_t*, int) = nullptr;
  f0r_instance_t (*construct)(unsigned, unsigned) = nullptr;
  void (*destruct)(f0r_instance_t) = nullptr;
  void (*setParam)(f0r_instance_t, f0r_param_t, int) = nullptr;
  void (*getParam)(f0r_instance_t, f0r_param_t, int) = nullptr;
  void (*update)(f0r_instance_t, double, const std::uint32_t*, std::uint32_t*) = nullptr;
  std::int64_t (*liveHostObjects)() = nullptr;

  explicit Frei0rModule(const char* path) {
    handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) throw std::runtime_error(std::string("dlopen: ") + dlerror());
    Resolve(init, "f0r_init");
    Resolve(deinit, "f0r_deinit");
    Resolve(pluginInfo, "f0r_get_plugin_info");
    Resolve(paramInfo, "f0r_get_param_info");
    Resolve(construct, "f0r_construct");
    Resolve(destruct, "f0r_destruct");
    Resolve(setParam, "f0r_set_param_value");
    Resolve(getParam, "f0r_get_param_value");
    Resolve(update, "f0r_update");
    Resolve(liveHostObjects, "zel2clock_live_host_objects");
  }
  // The module stays loaded: a client never unloads a module whose plug-in may hold objects.
  Frei0rModule(const Frei0rModule&) = delete;
  Frei0rModule& operator=(const Frei0rModule&) = delete;

  /// Index of the parameter called `name`, or -1.
  int IndexOf(const std::string& name) const {
    f0r_plugin_info_t info{};
    pluginInfo(&info);
    for (int i = 0; i < info.num_params; ++i) {
      f0r_param_info_t p{};
      paramInfo(&p, i);
      if (name == p.name) return i;
    }
    return -1;
  }

 private:
  template <class F>
  void Resolve(F& f, const char* name) {
    f = reinterpret_cast<F>(dlsym(handle, name));
    if (f == nullptr) throw std::runtime_error(std::string("missing export ") + name);
  }
};

}  // namespace zel::test
