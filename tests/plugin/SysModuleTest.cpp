// Module loading end to end with the test modules built into bin/: the search order
// under the working directory, the suffix rule, the debug-build check, the interface
// lookup and the lookups of modules that are already loaded.
#include "plugin/SysModule.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <link.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/LoadedLibrary.h"
#include "tier0/commandline.h"

namespace fs = std::filesystem;

namespace {

const char kVersion[] = "SysModTest001";  // the version the test modules answer
const int kMagic = 0x5e5a;                // what their interface record holds

// The path the loader recorded for an opened module: the name it was opened by.
std::string LoadedPath(const void* handle) {
    struct link_map* map = nullptr;
    if (!handle || dlinfo(const_cast<void*>(handle), RTLD_DI_LINKMAP, &map) != 0 || !map) return "";
    return map->l_name;
}

std::string Built(const char* variant) { return std::string(VL_BIN_DIR) + "/sysmod_" + variant + VL_MODULE_SUFFIX; }

// A fresh game directory with copies of the test modules in bin/ under several names,
// made the working directory for the test; copies are new files, so nothing in them is
// loaded before the test opens it.
class SysModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/sysmodXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = fs::canonical(pattern).string();
        fs::create_directories(dir_ + "/bin/sub");
        Copy("factory", "bin/sysmod_factory" VL_MODULE_SUFFIX);
        Copy("debug", "bin/sysmod_debug" VL_MODULE_SUFFIX);
        Copy("nofactory", "bin/sysmod_nofactory" VL_MODULE_SUFFIX);
        Copy("factory", "bin/UPPER.SO");
        Copy("factory", "bin/Mixed.So");
        Copy("factory", "bin/sub/nested" VL_MODULE_SUFFIX);
        ASSERT_NE(getcwd(previous_, sizeof(previous_)), nullptr);
        ASSERT_EQ(chdir(dir_.c_str()), 0);
        CommandLine_Tier0()->CreateCmdLine("srcds -game demo");
    }
    void TearDown() override {
        EXPECT_EQ(chdir(previous_), 0);
        fs::remove_all(dir_);
    }
    void Copy(const char* variant, const std::string& to) { fs::copy_file(Built(variant), dir_ + "/" + to); }
    std::string Bin(const std::string& file) const { return dir_ + "/bin/" + file; }

    std::string dir_;
    char previous_[PATH_MAX];
};

int MagicOf(void* object) { return *static_cast<int*>(object); }

TEST_F(SysModuleTest, RelativeNamesAreTriedUnderWorkingDirectoryBinThenAsGiven) {
    ::testing::internal::CaptureStdout();
    CSysModule* module = Sys_LoadModule("sysmod_factory");
    EXPECT_EQ(LoadedPath(module), Bin("sysmod_factory" VL_MODULE_SUFFIX));
    EXPECT_EQ(LoadedPath(Sys_LoadModule("sub\\nested")), Bin("sub/nested" VL_MODULE_SUFFIX));

    // Present both under bin/ and beside it: bin/ wins. Only beside it: the name as given.
    Copy("nofactory", "bin/pick" VL_MODULE_SUFFIX);
    Copy("factory", "pick" VL_MODULE_SUFFIX);
    Copy("factory", "top" VL_MODULE_SUFFIX);
    EXPECT_EQ(LoadedPath(Sys_LoadModule("./pick")), Bin("./pick" VL_MODULE_SUFFIX));
    EXPECT_EQ(LoadedPath(Sys_LoadModule("./top")), "./top" VL_MODULE_SUFFIX);
    // An absolute name is opened as it stands.
    CSysModule* absolute = Sys_LoadModule((dir_ + "/bin/sysmod_nofactory").c_str());
    EXPECT_EQ(LoadedPath(absolute), Bin("sysmod_nofactory" VL_MODULE_SUFFIX));

    EXPECT_EQ(Sys_LoadModule("absent"), nullptr);
    EXPECT_EQ(Sys_LoadLibrary("./absent"), nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "") << "failures to open are silent";
}

TEST_F(SysModuleTest, FindsTheModulesBuiltInTheTree) {
    const std::string bin = fs::canonical(VL_BIN_DIR).string();
    ASSERT_EQ(chdir(fs::path(bin).parent_path().c_str()), 0);
    EXPECT_EQ(LoadedPath(Sys_LoadModule("sysmod_nofactory")), bin + "/sysmod_nofactory" VL_MODULE_SUFFIX);
}

TEST_F(SysModuleTest, WorkingDirectoryEndingInSlashLosesItBeforeBin) {
    // The only working directory that ends in a slash is the root; "/bin" there leads
    // back up to the test's directory through "..".
    std::error_code error;
    fs::path realBin = fs::canonical("/bin", error);
    if (error) GTEST_SKIP() << "no /bin on this machine";
    std::string up;
    for (auto it = ++realBin.begin(); it != realBin.end(); ++it) up += "../";
    const std::string name = up + dir_.substr(1) + "/bin/sysmod_factory";
    ASSERT_EQ(chdir("/"), 0);
    EXPECT_EQ(LoadedPath(Sys_LoadModule(name.c_str())), "/bin/" + name + VL_MODULE_SUFFIX);
}

TEST_F(SysModuleTest, UnreadableWorkingDirectoryGoesOnToTheNameAsGiven) {
    // A working directory longer than the 1024-byte buffer cannot be read into it.
    std::string deep = dir_;
    while (deep.size() < 1100) deep += "/" + std::string(200, 'd');
    fs::create_directories(deep + "/bin");
    fs::copy_file(Built("factory"), deep + "/bin/sysmod_factory" VL_MODULE_SUFFIX);
    ASSERT_EQ(chdir(deep.c_str()), 0);
    char small[1024];
    ASSERT_EQ(getcwd(small, sizeof(small)), nullptr);
    EXPECT_EQ(LoadedPath(Sys_LoadModule("bin/sysmod_factory")), "bin/sysmod_factory" VL_MODULE_SUFFIX);
}

TEST_F(SysModuleTest, SuffixIsAddedOnlyWithoutDotSoInAnyLetterCase) {
    EXPECT_EQ(LoadedPath(Sys_LoadModule("UPPER.SO")), Bin("UPPER.SO"));
    EXPECT_EQ(LoadedPath(Sys_LoadModule("Mixed.So")), Bin("Mixed.So"));
    EXPECT_EQ(LoadedPath(Sys_LoadModule("sysmod_factory" VL_MODULE_SUFFIX)), Bin("sysmod_factory" VL_MODULE_SUFFIX));
    EXPECT_EQ(Sys_LoadModule("UPPER"), nullptr);  // UPPER_i486.so (UPPER_amd64.so) does not exist

    EXPECT_EQ(LoadedPath(Sys_LoadLibrary((dir_ + "/bin/sysmod_nofactory").c_str())), Bin("sysmod_nofactory" VL_MODULE_SUFFIX));
    Copy("factory", "bin/Other.sO");
    EXPECT_EQ(LoadedPath(Sys_LoadLibrary("bin\\Other.sO")), "bin/Other.sO");
    EXPECT_EQ(LoadedPath(Sys_LoadLibrary("bin\\sub\\nested")), "bin/sub/nested" VL_MODULE_SUFFIX);
}

TEST_F(SysModuleTest, OnlyTheNameDecidesTheSuffix) {
    const std::string game = dir_ + "/game.source";
    fs::create_directories(game + "/bin");
    fs::copy_file(Built("factory"), game + "/bin/sysmod_factory" VL_MODULE_SUFFIX);
    ASSERT_EQ(chdir(game.c_str()), 0);
    EXPECT_EQ(LoadedPath(Sys_LoadModule("sysmod_factory")), game + "/bin/sysmod_factory" VL_MODULE_SUFFIX);
}

TEST_F(SysModuleTest, NamesThatDoNotFitWholeAreNeverOpened) {
    // Relative names of 1015 and 1016 characters (one fewer with the 64-bit suffix): with
    // the suffix, 1023 characters fill the 1024-byte buffer exactly; 1024 would have to be
    // cut. The cut name exists, so opening it instead would succeed.
    const std::string suffix = VL_MODULE_SUFFIX;
    const std::string cutSuffix = suffix.substr(0, suffix.size() - 1);
    std::string directories;
    for (int i = 0; i < 4; ++i) directories += std::string(200, 'a' + i) + "/";
    fs::create_directories(dir_ + "/" + directories);
    const std::string fits = directories + std::string(1023 - suffix.size() - directories.size(), 'f');
    const std::string tooLong = directories + std::string(1024 - suffix.size() - directories.size(), 'g');
    fs::copy_file(Built("factory"), dir_ + "/" + fits + suffix);
    fs::copy_file(Built("factory"), dir_ + "/" + tooLong + cutSuffix);

    EXPECT_EQ(LoadedPath(Sys_LoadLibrary(fits.c_str())), fits + suffix);
    EXPECT_EQ(Sys_LoadLibrary(tooLong.c_str()), nullptr);
    EXPECT_EQ(Sys_LoadModule(tooLong.c_str()), nullptr);
    EXPECT_FALSE(IsLoaded(dir_ + "/" + tooLong + cutSuffix));
}

TEST_F(SysModuleTest, DebugBuildIsFatalUnlessAllowed) {
    CommandLine_Tier0()->CreateCmdLine("srcds -allowdebug -game demo");
    CSysModule* allowed = Sys_LoadModule("sysmod_debug");
    EXPECT_EQ(LoadedPath(allowed), Bin("sysmod_debug" VL_MODULE_SUFFIX));
    Sys_UnloadModule(allowed);
    EXPECT_FALSE(IsLoaded(Bin("sysmod_debug" VL_MODULE_SUFFIX)));

    CommandLine_Tier0()->CreateCmdLine("srcds -game demo");
    EXPECT_NE(Sys_LoadModule("sysmod_factory"), nullptr);
    EXPECT_EXIT(Sys_LoadModule("sysmod_debug"), ::testing::ExitedWithCode(1),
                "^Module sysmod_debug is a debug build\n$");
    CommandLine_Tier0()->CreateCmdLine("srcds -allowdebugs");  // a whole parameter only
    EXPECT_EXIT(Sys_LoadInterface("sysmod_debug", kVersion, nullptr, nullptr), ::testing::ExitedWithCode(1),
                "Module sysmod_debug is a debug build");
}

TEST_F(SysModuleTest, LoadInterfaceKeepsTheModuleOnlyWhenTheFactoryAnswers) {
    CSysModule* const sentinelModule = reinterpret_cast<CSysModule*>(&previous_);
    void* const sentinel = &dir_;

    CSysModule* module = sentinelModule;
    void* object = sentinel;
    ASSERT_TRUE(Sys_LoadInterface("sysmod_factory", kVersion, &module, &object));
    EXPECT_EQ(LoadedPath(module), Bin("sysmod_factory" VL_MODULE_SUFFIX));
    EXPECT_EQ(MagicOf(object), kMagic);

    // The factory yields null: null is stored, the module is left alone and closed.
    module = sentinelModule;
    object = sentinel;
    EXPECT_FALSE(Sys_LoadInterface("Mixed.So", "NoSuchVersion001", &module, &object));
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(module, sentinelModule);
    EXPECT_FALSE(IsLoaded(Bin("Mixed.So")));

    // No factory at all, or no module: nothing is stored.
    object = sentinel;
    EXPECT_FALSE(Sys_LoadInterface("sysmod_nofactory", kVersion, &module, &object));
    EXPECT_EQ(object, sentinel);
    EXPECT_EQ(module, sentinelModule);
    EXPECT_FALSE(IsLoaded(Bin("sysmod_nofactory" VL_MODULE_SUFFIX)));
    EXPECT_FALSE(Sys_LoadInterface("absent", kVersion, &module, &object));
    EXPECT_EQ(object, sentinel);
    EXPECT_EQ(module, sentinelModule);

    EXPECT_TRUE(Sys_LoadInterface("UPPER.SO", kVersion, nullptr, &object));
    EXPECT_EQ(MagicOf(object), kMagic);
}

TEST_F(SysModuleTest, FactoriesComeFromTheModuleOrThisLibrary) {
    EXPECT_EQ(Sys_GetFactory(static_cast<CSysModule*>(nullptr)), nullptr);
    Sys_UnloadModule(nullptr);
    EXPECT_EQ(Sys_GetFactory(Sys_LoadModule("sysmod_nofactory")), nullptr);

    InterfaceFactoryFn factory = Sys_GetFactory(Sys_LoadModule("sysmod_factory"));
    ASSERT_NE(factory, nullptr);
    int returnCode = -1;
    EXPECT_EQ(MagicOf(factory(kVersion, &returnCode)), kMagic);
    EXPECT_EQ(returnCode, 0);
    EXPECT_EQ(factory("Other001", &returnCode), nullptr);
    EXPECT_EQ(returnCode, 1);

    EXPECT_EQ(Sys_GetFactoryThis(), &CreateInterface);
}

TEST_F(SysModuleTest, LookupsOfLoadedModulesNeitherLoadNorUnload) {
    const std::string path = Bin("sysmod_factory" VL_MODULE_SUFFIX);
    InterfaceFactoryFn defaultScope = reinterpret_cast<InterfaceFactoryFn>(dlsym(RTLD_DEFAULT, "CreateInterface"));

    // Not loaded yet: a message each, and the module stays unloaded.
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(GetModuleHandle(path.c_str()), nullptr);
    EXPECT_EQ(Sys_GetFactory(path.c_str()), defaultScope);
    const std::string absent = dir_ + "/bin/absent.so";
    EXPECT_EQ(GetModuleHandle(absent.c_str()), nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "DLOPEN Error:" + path + ": module is not loaded\n" + "DLOPEN Error:" + path +
                  ": module is not loaded\n" + "DLOPEN Error:" + absent +
                  ": cannot open shared object file: No such file or directory\n");
    EXPECT_FALSE(IsLoaded(path));

    // Loaded: the same handle and factory, no message, and the load count unchanged, so
    // one unload really unloads it.
    ::testing::internal::CaptureStdout();
    CSysModule* module = Sys_LoadModule("sysmod_factory");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(GetModuleHandle(path.c_str()), static_cast<void*>(module));
    InterfaceFactoryFn factory = Sys_GetFactory(path.c_str());
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory, Sys_GetFactory(module));
    EXPECT_EQ(MagicOf(factory(kVersion, nullptr)), kMagic);
    EXPECT_EQ(GetModuleHandle(nullptr), nullptr);
    EXPECT_EQ(Sys_GetFactory(static_cast<const char*>(nullptr)), defaultScope);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    Sys_UnloadModule(module);
    EXPECT_FALSE(IsLoaded(path));
}

TEST_F(SysModuleTest, ThePluginLibraryExportsTheLoaderAndNamesItsOwnFactory) {
    CSysModule* plugin = Sys_LoadModule(VL_BIN_DIR "/vorlane_utils.so");
    ASSERT_NE(plugin, nullptr);
    auto getFactoryThis = reinterpret_cast<InterfaceFactoryFn (*)()>(dlsym(plugin, "_Z18Sys_GetFactoryThisv"));
    auto loadModule = reinterpret_cast<CSysModule* (*)(const char*)>(dlsym(plugin, "_Z14Sys_LoadModulePKc"));
    ASSERT_NE(getFactoryThis, nullptr);
    ASSERT_NE(loadModule, nullptr);
    InterfaceFactoryFn own = getFactoryThis();
    EXPECT_EQ(own, Sys_GetFactory(plugin));
    EXPECT_NE(own, &CreateInterface) << "the library's own factory, not this program's";
    int returnCode = -1;
    EXPECT_NE(own("ISERVERPLUGINCALLBACKS001", &returnCode), nullptr);
    EXPECT_EQ(returnCode, 0);
    EXPECT_EQ(LoadedPath(loadModule("sysmod_factory")), Bin("sysmod_factory" VL_MODULE_SUFFIX));
}

}  // namespace
