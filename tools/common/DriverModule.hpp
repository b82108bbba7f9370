// Loads the driver module from its bundle with dlopen, as any third-party host does, and
// resolves its entry points. Shared by kivhost and the host-level tests.
#pragma once

#include <dlfcn.h>

#include <string>

#include <kiv/KIVPrinterDriver.h>

namespace kivhost {

// A bundle opened by path, released at the end of the scope.
class Bundle {
public:
    explicit Bundle(const char *path) : ref_(KIVBundleCreate(path)) {}
    Bundle(const Bundle &) = delete;
    Bundle &operator=(const Bundle &) = delete;
    ~Bundle() {
        if (ref_) KIVBundleRelease(ref_);
    }
    KIVBundleRef get() const { return ref_; }
    explicit operator bool() const { return ref_ != nullptr; }

private:
    KIVBundleRef ref_;
};

// A host's print record handle, disposed at the end of the scope.
class PrintHandle {
public:
    PrintHandle() : handle_(NewHandle(0)) {}
    PrintHandle(const PrintHandle &) = delete;
    PrintHandle &operator=(const PrintHandle &) = delete;
    ~PrintHandle() { DisposeHandle(handle_); }
    Handle get() const { return handle_; }

private:
    Handle handle_;
};

class DriverModule {
public:
    DriverModule() = default;
    DriverModule(const DriverModule &) = delete;
    DriverModule &operator=(const DriverModule &) = delete;
    ~DriverModule() {
        if (handle_) dlclose(handle_);
    }

    // Loads CFBundleExecutable of the bundle. On failure error() says why.
    bool Load(KIVBundleRef bundle) {
        const char *dir = KIVBundleGetPath(bundle);
        plist_t exe = KIVBundleGetValueForInfoDictionaryKey(bundle, "CFBundleExecutable");
        if (!dir || !exe || plist_get_node_type(exe) != PLIST_STRING) {
            error_ = "the bundle names no executable (CFBundleExecutable)";
            return false;
        }
        char *name = nullptr;
        plist_get_string_val(exe, &name);
        const std::string path = std::string(dir) + "/" + (name ? name : "");
        free(name);
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle_) {
            error_ = dlerror();
            return false;
        }
        return Resolve();
    }

    void *Symbol(const char *name) const { return handle_ ? dlsym(handle_, name) : nullptr; }
    const std::string &error() const { return error_; }

// The module's entry points, listed once: each becomes a member of its own type.
// clang-format off
#define KIV_ENTRY_POINTS(X)                                                                            \
    X(KIVPrOpen) X(KIVPrClose) X(KIVPrSuggestPage) X(KIVPrValidate) X(KIVPrDefaults) X(KIVPrGetInfo)   \
    X(KIVPrSetJobName) X(KIVPrCopyJobSettings) X(KIVPrSetJobSettings) X(KIVPrJobMerge)                \
    X(KIVPrSetError) X(KIVPrErrorString) X(KIVPrStyle) X(KIVPrJob)                                     \
    X(KIVPrOpenDoc) X(KIVPrOpenPage) X(KIVPrPrintBitmap) X(KIVPrClosePage) X(KIVPrCloseDoc)            \
    X(KIVPrCopyOutputFileName) X(KIVPrSetProfile) X(KIVPrSetMetadata) X(MakeDestFileName)              \
    X(EncodeHPrint) X(DecodeHPrint)
// clang-format on
#define KIV_ENTRY(name) decltype(&::name) name = nullptr;
    KIV_ENTRY_POINTS(KIV_ENTRY)
#undef KIV_ENTRY
    const char *defaultPapers = nullptr;
    const char *defaultResolutions = nullptr;

private:
    template <class F>
    bool Get(F &f, const char *name) {
        f = reinterpret_cast<F>(dlsym(handle_, name));
        if (!f) error_ = std::string("missing entry point ") + name;
        return f != nullptr;
    }

    bool Resolve() {
        defaultPapers = static_cast<const char *>(dlsym(handle_, "kDefaultPapers"));
        defaultResolutions = static_cast<const char *>(dlsym(handle_, "kDefaultResolutions"));
        bool all = true;
#define KIV_ENTRY(name) all = Get(name, #name) && all;
        KIV_ENTRY_POINTS(KIV_ENTRY)
#undef KIV_ENTRY
        if (!defaultPapers || !defaultResolutions) {
            error_ = "missing the built-in catalogues (kDefaultPapers, kDefaultResolutions)";
            return false;
        }
        return all;
    }

    void *handle_ = nullptr;
    std::string error_;
};

}  // namespace kivhost
