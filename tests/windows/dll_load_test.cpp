// QOLT300x64.dll as an application loads it: the all-builds calls by their plain names, none of the
// extended ones, and an unload after a session that leaves nothing of the library behind.
#include "qolt_test_dll.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

const wchar_t* const kDll = QOLT_TEST_DLL_PATH;

class Dll : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryW(kDll);
        ASSERT_NE(module_, nullptr) << GetLastError();
    }
    void TearDown() override {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }
    // Through void(*)(): the cast any exported call may take.
    template <class F> F Call(const char* name) {
        return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module_, name)));
    }
    bool Unloaded() const { return GetModuleHandleW(L"QOLT300x64.dll") == nullptr; }

    HMODULE module_ = nullptr;
};

TEST_F(Dll, ExportsTheAllBuildsCallsByPlainName) {
    const char* calls[] = {"Init",
                           "Connect",
                           "Close",
                           "IsConnected",
                           "IsQOLT300R",
                           "GetSerialNumber",
                           "GetFWVersion",
                           "GetHWVersion",
                           "GetSDKVersion",
                           "SetOutputFunc",
                           "GetOutputFunc",
                           "SetAmplitude",
                           "GetAmplitude",
                           "SetFrequency",
                           "GetFrequency",
                           "SetDCOffset",
                           "GetDCOffset",
                           "SetDCOffsetVariableMode",
                           "GetDCOffsetVariableMode",
                           "SetOutputLead",
                           "GetOutputLead",
                           "SetPulseWidth",
                           "GetPulseWidth",
                           "SetInputImpedanceMode",
                           "GetInputImpedanceMode",
                           "SetBaselineResetTest",
                           "GetBaselineResetTest",
                           "RegisterTimeAmpCB",
                           "RegisterSyncFreqCB",
                           "RegisterSyncMainFuncCB",
                           "ResetQOLT",
                           "SetFreqScanSine",
                           "GetFreqScanSine",
                           "GetFreqScanSineStartFreq",
                           "GetFreqScanSineStopFreq",
                           "GetFreqScanSineDuration",
                           "LoadEEGtxt",
                           "LoadEEGbin",
                           "LoadEEGedf",
                           "EnablePlayRawDataLoop"};
    for (const char* name : calls) {
        EXPECT_NE(GetProcAddress(module_, name), nullptr) << name;
    }
    // The extended and POSIX calls stay inside.
    for (const char* name :
         {"SpecifyCOMPort", "ReconnectDevice", "WinEventCb", "RegisterNotifyEvent", "GetHWInfo",
          "WriteMfgInfo", "SetDeviceNodeFormat", "SetLockDirectory", "_WriteCOMPort"}) {
        EXPECT_EQ(GetProcAddress(module_, name), nullptr) << name;
    }
    using Text = const char* (*)();
    const Text sdk = Call<Text>("GetSDKVersion");
    ASSERT_NE(sdk, nullptr);
    EXPECT_STRNE(sdk(), "");
}

TEST_F(Dll, UnloadsAfterASessionWithoutWaitingAtUnload) {
    using InitFn = bool (*)(void (*)(bool));
    using ConnectFn = bool (*)(int, unsigned);
    using CloseFn = void (*)();
    const auto init = Call<InitFn>("Init");
    const auto connect = Call<ConnectFn>("Connect");
    const auto close = Call<CloseFn>("Close");
    ASSERT_TRUE(init != nullptr && connect != nullptr && close != nullptr);
    // Nothing is plugged in here: the search runs and finds nothing.
    EXPECT_FALSE(connect(-1, 300));
    close();
    EXPECT_TRUE(init(nullptr));
    close();
    ASSERT_TRUE(FreeLibrary(module_));
    module_ = nullptr;
    EXPECT_TRUE(Unloaded());
}

TEST_F(Dll, AnUnloadWhileASessionRunsWaitsForItsThreads) {
    using InitFn = bool (*)(void (*)(bool));
    using CloseFn = void (*)();
    const auto init = Call<InitFn>("Init");
    ASSERT_NE(init, nullptr);
    // The connection thread runs (searching) when the application lets go of the library.
    ASSERT_TRUE(init(nullptr));
    ASSERT_TRUE(FreeLibrary(module_));
    module_ = nullptr;
    Sleep(300);
    EXPECT_FALSE(Unloaded()); // the thread still holds it, and still runs
    // Loaded again, the same library closes the session; its threads end and the unload completes.
    module_ = LoadLibraryW(kDll);
    ASSERT_NE(module_, nullptr);
    const auto close = Call<CloseFn>("Close");
    ASSERT_NE(close, nullptr);
    close();
    ASSERT_TRUE(FreeLibrary(module_));
    module_ = nullptr;
    const DWORD giveUp = GetTickCount() + 5000;
    while (!Unloaded() && GetTickCount() < giveUp) {
        Sleep(10);
    }
    EXPECT_TRUE(Unloaded());
}

TEST_F(Dll, LoadsAndUnloadsRepeatedly) {
    for (int i = 0; i < 5; ++i) {
        HMODULE again = LoadLibraryW(kDll);
        ASSERT_EQ(again, module_);
        FreeLibrary(again);
    }
    ASSERT_TRUE(FreeLibrary(module_));
    module_ = nullptr;
    EXPECT_TRUE(Unloaded());
}

} // namespace
