#include <corvex/runtime/exception.h>

#include <cstdio>
#include <cstdlib>

namespace corvex {

TException::TException(TString text) : _text(std::move(text)) {}
TException::TException(std::string_view utf8) : _text(FromUtf8(utf8)) {}

const char* TException::what() const noexcept {
    try {
        _utf8 = ToUtf8(ToString());
    } catch (...) {
        return "exception";
    }
    return _utf8.c_str();
}

TString ExceptionText(std::exception_ptr error) {
    try {
        if (error) std::rethrow_exception(error);
    } catch (const TException& e) {
        return e.ToString();
    } catch (const std::exception& e) {
        return FromUtf8(e.what());
    } catch (...) {
    }
    return u"Unknown exception";
}

void DieWithException(std::exception_ptr error) {
    static bool dying = false;
    const std::string text = ToUtf8(ExceptionText(error));
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
    std::fflush(stdout);
    // Exit handlers (closing graphics, restoring display modes) still run, unless one of
    // them is what failed.
    if (dying) std::_Exit(-1);
    dying = true;
    std::exit(-1);
}

void RunGuarded(const std::function<void()>& body) {
    try {
        body();
    } catch (...) {
        DieWithException(std::current_exception());
    }
}

void InstallTerminateHandler() {
    std::set_terminate([] {
        if (auto error = std::current_exception()) DieWithException(error);
        std::fprintf(stderr, "terminate called without an exception\n");
        std::_Exit(-1);
    });
}

}  // namespace corvex
