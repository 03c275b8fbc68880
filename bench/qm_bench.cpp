// Times Quilmarsk against bare baselines, in a throwaway Wine prefix:
//
//   qm_bench populate FROM TO
//       creates services FROM..TO-1: every twentieth is a family instance
//       (50 at N = 1,000)
//       "Korvane Update Service NNNN" with a folder of its own, the others
//       have display names of about 200 characters; all start on demand
//   qm_bench measure N RUNS
//       refresh: qm::RefreshServiceList over qm::Win32System, filling a
//                sorted list box in a dialog, against the bare enumeration,
//                and against the limit: one EnumServicesStatusA call with
//                a buffer already big enough
//       script:  qm::CreateBatch past its folder picker, against the bare
//                enumeration and ImagePath reads it needs
//       overview: qm::ReadOverviewStates, filling a report list view (then
//       the details: qm::ReadOverviewDetails and the fill again), against
//                the refresh above; each instance's executable is a copy
//                of this program, which carries a version record; and the
//                open overview's periodic qm::ReadStatesAgain against one
//                bare EnumServicesStatusExA enumeration
//       plan:    at N = 1,000, qm::ReadPlan for the 50 instances, each
//                folder and the update holding 500 files, against
//                qm::ReadOverviewDetails for the same instances
//   qm_bench startup N RUNS QUILMARSK_EXE MINIMAL_EXE
//       process start to main dialog shown (and, for Quilmarsk, its list
//       holding the N/10 instances), against the minimal dialog program;
//       as parts, its variants beside it (see minimal.cpp)
//
// Each measurement is run RUNS times after one warm-up, tool and baseline
// in turn, and reported as the median in lines of the form
//   result row=NAME n=N tool_us=T bare_us=B
//   part row=NAME n=N name=PART us=T
// for scripts/bench to turn into a table.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "actions/messages.h"
#include "actions/script.h"
#include "actions/actions.h"
#include "actions/overview.h"
#include "actions/plan.h"
#include "bare_enumeration.h"
#include "catalogue/naming.h"
#include "support/machine.h"
#include "ui/framework/dialog.h"
#include "ui/framework/listbox.h"
#include "ui/framework/listview.h"
#include "win32/machine.h"

namespace {

using namespace qm::test;

constexpr char kRoot[] = "C:\\qmbench";
constexpr char kUpdateFolder[] = "C:\\qmbench\\update";
constexpr char kModulePath[] = "C:\\qmbench\\Quilmarsk.exe";  // the script goes beside it
constexpr char kScriptPath[] = "C:\\qmbench\\KVNUpdate.cmd";
constexpr char kMainTitle[] = "Korvane Multiple Services Configuration Utility";
constexpr char kMinimalTitle[] = "Minimal";
constexpr int kListId = 1000;
constexpr int kPathId = 1003;
constexpr int kSuffixId = 1004;
constexpr int kOverviewId = 1010;
constexpr int kBenchDialog = 1;
// The plan is measured where N gives 50 instances, each of this many files.
constexpr int kPlanServices = 1000;
constexpr int kPlanFiles = 500;

// ---- timing -----------------------------------------------------------

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double Time(const std::function<void()>& f) {
    const double start = Now();
    f();
    return Now() - start;
}

// Lets the dialog paint what the last run invalidated, outside the timing.
void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Runs |named| side by side: one warm-up round, then |runs| rounds of each
// in turn; returns the medians in the same order.
std::vector<double> SideBySide(int runs, const std::vector<std::function<void()>>& named) {
    std::vector<std::vector<double>> samples(named.size());
    for (int round = -1; round < runs; ++round) {
        for (std::size_t i = 0; i < named.size(); ++i) {
            const double t = Time(named[i]);
            if (round >= 0) samples[i].push_back(t);
            Pump();
        }
    }
    std::vector<double> medians;
    for (const auto& s : samples) medians.push_back(Median(s));
    return medians;
}

void Result(const char* row, int n, double tool, double bare) {
    std::printf("result row=%s n=%d tool_us=%.1f bare_us=%.1f\n", row, n, tool, bare);
    std::fflush(stdout);
}

void Part(const char* row, int n, const char* name, double us) {
    std::printf("part row=%s n=%d name=%s us=%.1f\n", row, n, name, us);
    std::fflush(stdout);
}

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "qm_bench: %s (error %lu)\n", what.c_str(), GetLastError());
    std::exit(1);
}

// ---- the services -----------------------------------------------------

std::string FamilyName(int number) {
    char name[64];
    std::snprintf(name, sizeof name, "Korvane Update Service %04d", number);
    return name;
}

// One service in so many is a family instance.
constexpr int kFamilyEvery = 20;

int Populate(int from, int to) {
    MakeFolders(kUpdateFolder);
    for (int i = from; i < to; ++i) {
        std::string name, display, image;
        if (i % kFamilyEvery == 0) {
            const int number = i / kFamilyEvery + 1;
            char folder[MAX_PATH];
            std::snprintf(folder, sizeof folder, "%s\\kvn%04d", kRoot, number);
            MakeFolders(folder);
            name = display = FamilyName(number);
            image = std::string(folder) + "\\KorvaneSrv.exe";
        } else {
            char text[64];
            std::snprintf(text, sizeof text, "QmBenchOther%05d", i);
            name = text;
            display = std::string(text) + " - a service of some other product, with the long and descriptive display"
                                          " name that many vendors give theirs, so that every entry of the service"
                                          " manager's answer is as big as real ones are";
            image = "C:\\Program Files\\Other Vendor\\other.exe";
        }
        InstallService(name, image, SERVICE_DEMAND_START, display);
    }
    return 0;
}

// ---- the baselines ----------------------------------------------------

// The enumeration plus one open, query and close of "ImagePath" per instance.
int BareReads() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    int read = 0;
    const long total = BareEnumerate(manager, [&read, manager](const ENUM_SERVICE_STATUSA& entry) {
        if (!std::strstr(entry.lpServiceName, qm::kFamilyMarker)) return;
        char path[1024];
        std::snprintf(path, sizeof path, "SYSTEM\\CurrentControlSet\\Services\\%s", entry.lpServiceName);
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return;
        char value[260] = {};
        DWORD type = 0, size = sizeof value - 1;
        if (RegQueryValueExA(key, "ImagePath", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
            ERROR_SUCCESS) {
            ++read;
        }
        RegCloseKey(key);
        // And its recovery actions, which the script clears and puts back.
        if (SC_HANDLE service = OpenServiceA(manager, entry.lpServiceName, SERVICE_QUERY_CONFIG)) {
            BYTE actions[8192];
            DWORD needed = 0;
            QueryServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS, actions, sizeof actions, &needed);
            CloseServiceHandle(service);
        }
    });
    if (total < 0) Fail("EnumServicesStatusA");
    CloseServiceHandle(manager);
    return read;
}

// ---- the tool's side --------------------------------------------------

// The administrator, answering at once: the update folder is chosen, the
// module path is known and messages are only remembered.
class QuietUser : public qm::User {
public:
    std::string lastMessage;

    void Message(const std::string& text, const char*, qm::Icon) override { lastMessage = text; }
    bool BrowseForFolder(const char*, std::string& folder) override {
        folder = kUpdateFolder;
        return true;
    }
    bool AskAccount(std::string&, std::string&, const qm::AccountCheck&) override { return false; }
    bool ModulePath(std::string& path) override {
        path = kModulePath;
        return true;
    }
    void ShowBusy(bool) override {}
    void Pause(unsigned) override {}
    std::uint64_t Milliseconds() override { return GetTickCount64(); }
    bool AskYesNo(const std::string&, const char*) override { return false; }
    bool ConfirmPlan(const qm::UpdatePlan&) override { return true; }
};

// A dialog with the main dialog's list, path and suffix controls, exchanged
// through the same framework; the measurements run once it is on screen.
class BenchDialog : public ui::Dialog, private qm::MainView {
public:
    BenchDialog(int n, int runs) : n_(n), runs_(runs) {}

private:
    qm::DialogAndMachine Context() { return machine_.With(state_, *this, user_); }

    void DoDataExchange(ui::DataExchange& dx) override {
        dx.Control(kListId, list_);
        dx.Control(kOverviewId, overview_);
        dx.Text(kPathId, state_.m_strInstallPath);
        dx.Text(kSuffixId, state_.m_strSuffix, qm::kMaxSuffixLength);
    }
    bool OnInitDialog() override {
        ui::Dialog::OnInitDialog();
        for (int c = 0; c < static_cast<int>(qm::OverviewColumn::Count); ++c) {
            overview_.AddColumn(c, qm::ColumnTitle(static_cast<qm::OverviewColumn>(c)), 80);
        }
        PostMessageA(hwnd(), WM_APP, 0, 0);
        return true;
    }
    bool OnMessage(UINT msg, WPARAM, LPARAM, INT_PTR&) override {
        if (msg != WM_APP) return false;
        try {
            Measure();
        } catch (const MachineError& e) {  // never let it cross the dialog procedure
            Fail(e.what());
        }
        EndDialog(0);
        return true;
    }

    void WriteControls() override { UpdateData(ui::Exchange::Load); }
    bool ReadControls() override { return UpdateData(ui::Exchange::Save); }
    void ShowInstallPath(const std::string& folder) override { SetItemText(kPathId, folder); }
    std::string SuffixField() override { return ItemText(kSuffixId); }
    void FillList(const std::vector<std::string>& names) override { list_.Fill(names); }
    bool SelectedEntry(std::string&) override { return false; }

    void Measure();
    void MeasureParts();
    void MeasureOverviewParts(const std::vector<qm::OverviewRow>& rows);
    void MeasurePlan(const std::vector<qm::OverviewRow>& rows);

    int n_, runs_;
    qm::Machine machine_;  // kept from run to run, as the dialog keeps it
    QuietUser user_;
    ui::ListBox list_;
    ui::ListView overview_;
    qm::MainDialogState state_;
};

int CountOf(const std::string& text, const std::string& what) {
    int count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

void BenchDialog::Measure() {
    const int family = n_ / kFamilyEvery;

    // The warm-up round makes the tool's first refresh; the runs are the
    // refreshes after it, each starting at the size the last one needed.
    const DWORD sufficient = SufficientEnumerationBytes();
    if (!sufficient) Fail("no buffer takes every service in one call");
    std::vector<double> m = SideBySide(runs_, {
        [this] { qm::DialogAndMachine s = Context(); qm::RefreshServiceList(s); },
        [] { if (BareEnumeration() < 0) Fail("EnumServicesStatusA"); },
        [sufficient] { if (OneEnumerationCall(sufficient) < 0) Fail("EnumServicesStatusA, one call"); },
    });
    if (list_.Count() != family) Fail("the list holds " + std::to_string(list_.Count()) + " entries");
    Result("refresh", n_, m[0], m[1]);
    Result("refresh_limit", n_, m[0], m[2]);

    m = SideBySide(runs_, {
        [this] { qm::DialogAndMachine s = Context(); qm::CreateBatch(s); },
        [] { BareReads(); },
    });
    const std::string created = qm::text::Fill(qm::text::kBatchCreated, kScriptPath);
    if (user_.lastMessage.compare(0, created.size(), created) != 0) Fail("the script was not written: " + user_.lastMessage);
    if (CountOf(ReadTextFile(kScriptPath), "REM ---- ") != family) Fail("the script misses instances");  // one block each
    if (BareReads() != family) Fail("the bare reads miss instances");
    Result("script", n_, m[0], m[1]);

    // Opening the overview against the main dialog's refresh.
    for (int number = 1; number <= family; ++number) {
        char executable[MAX_PATH];
        std::snprintf(executable, sizeof executable, "%s\\kvn%04d\\KorvaneSrv.exe", kRoot, number);
        if (!PathExists(executable)) CopyOneFile(ThisProgram(), executable);
    }
    // Opening shows every instance's state; each one's account, version
    // and folder follow once the window is up.
    std::vector<qm::OverviewRow> rows;
    const auto fill = [&] {
        std::vector<std::vector<std::string>> cells;
        for (const qm::OverviewRow& row : rows) cells.push_back(qm::RowCells(row));
        overview_.Fill(cells);
    };
    m = SideBySide(runs_, {
        [&] {
            qm::MachineContext s = machine_.Alone(user_);
            if (!qm::ReadOverviewStates(s, rows)) Fail("ReadOverviewStates");
            fill();
        },
        [this] { qm::DialogAndMachine s = Context(); qm::RefreshServiceList(s); },
        [&] {
            qm::MachineContext s = machine_.Alone(user_);
            qm::ReadOverviewDetails(s, rows);
            fill();
        },
        // What the open overview reads every few seconds, against one
        // enumeration with process information and nothing done with it.
        [&] {
            if (!qm::ReadStatesAgain(machine_.system, rows)) Fail("ReadStatesAgain");
        },
        [&] {
            std::vector<qm::ServiceStatus> services;
            const qm::ManagerHandle manager = machine_.system.OpenManager();
            if (!machine_.system.EnumServiceStatuses(manager, services)) Fail("EnumServiceStatuses");
            machine_.system.CloseServiceHandle(manager);
        },
    });
    if (overview_.Count() != family || rows.empty() || !rows.back().version) Fail("the overview misses instances");
    Result("overview", n_, m[0], m[1]);
    Result("overview_details", n_, m[2], m[1]);
    Result("overview_reread", n_, m[3], m[4]);
    MeasureOverviewParts(rows);
    if (n_ == kPlanServices) MeasurePlan(rows);

    MeasureParts();
}

// The update's plan for the 50 instances at N = 1,000, each folder and the
// update holding 500 files, against the overview's details for the same
// instances: the plan reads those and walks every folder besides.
void BenchDialog::MeasurePlan(const std::vector<qm::OverviewRow>& rows) {
    // Made here and deleted at the end, so that the other rows meet the
    // folders as before.
    const auto each = [](const std::string& folder, bool make) {
        for (int sub = 0; sub < kPlanFiles / 100; ++sub) {
            const std::string into = (folder.back() == '\\' ? folder : folder + "\\") + "part" + std::to_string(sub);
            if (make) MakeFolders(into);
            for (int i = 0; i < 100 - (sub == 0); ++i) {
                const std::string file = into + "\\file" + std::to_string(i) + ".dat";
                if (make) {
                    WriteTextFile(file, std::string(1000, 'k'));
                } else {
                    DeleteFileA(file.c_str());
                }
            }
            if (!make) RemoveDirectoryA(into.c_str());
        }
    };
    const auto fill = [&](const std::string& folder) { each(folder, true); };
    fill(kUpdateFolder);  // and KorvaneSrv.exe: 500 files in all
    if (!PathExists(std::string(kUpdateFolder) + "\\KorvaneSrv.exe")) {
        CopyOneFile(ThisProgram(), std::string(kUpdateFolder) + "\\KorvaneSrv.exe");
    }
    std::vector<qm::Instance> instances;
    for (const qm::OverviewRow& row : rows) {
        fill(row.folder);
        qm::Instance instance;
        instance.serviceName = row.name;
        instance.folder = row.folder;
        instance.beside = qm::BesideFolder(instance.folder, {}, nullptr, instance.noBackup);
        instances.push_back(instance);
    }
    std::vector<qm::OverviewRow> details = rows;
    qm::UpdatePlan plan;
    const std::vector<double> m = SideBySide(runs_, {
        [&] { qm::MachineContext s = machine_.Alone(user_); plan = qm::ReadPlan(s, kUpdateFolder, instances, {}); },
        [&] { qm::MachineContext s = machine_.Alone(user_); qm::ReadOverviewDetails(s, details); },
    });
    if (plan.updateFiles != kPlanFiles || plan.rows.size() != rows.size() || !plan.rows.back().backupBytes) {
        Fail("the plan misses files or instances");
    }
    Result("plan", n_, m[0], m[1]);
    const struct Emptied {
        std::function<void()> empty;
        ~Emptied() { empty(); }
    } emptied{[&] {
        each(kUpdateFolder, false);
        for (const qm::Instance& instance : instances) each(instance.folder, false);
    }};
    const std::vector<double> parts = SideBySide(runs_, {
        [&] {
            std::vector<qm::FolderEntry> entries;
            for (const qm::Instance& instance : instances) machine_.host.ReadFolder(instance.folder, entries);
        },
        [&] {
            for (const qm::Instance& instance : instances) machine_.host.FileExists(instance.beside.mark);
        },
        [&] {
            const qm::ManagerHandle manager = machine_.system.OpenManager();
            for (const qm::Instance& instance : instances) {
                std::uint32_t error = 0;
                std::vector<std::string> names;
                const qm::ServiceHandle service =
                    machine_.system.OpenServiceFor(manager, instance.serviceName, qm::ServiceAccess::Query, error);
                machine_.system.RunningDependents(service, names);
                machine_.system.CloseServiceHandle(service);
            }
            machine_.system.CloseServiceHandle(manager);
        },
    });
    const char* const names[] = {"read_folders", "find_marks", "read_dependents"};
    for (std::size_t i = 0; i < parts.size(); ++i) Part("plan", n_, names[i], parts[i]);
}

// Where the overview's time goes: each step of reading the rows alone.
void BenchDialog::MeasureOverviewParts(const std::vector<qm::OverviewRow>& rows) {
    qm::Win32System& system = machine_.system;
    std::vector<std::vector<std::string>> cells;
    for (const qm::OverviewRow& row : rows) cells.push_back(qm::RowCells(row));
    const auto eachRow = [&](const std::function<void(qm::ManagerHandle, const qm::OverviewRow&)>& step) {
        const qm::ManagerHandle manager = system.OpenManager();
        for (const qm::OverviewRow& row : rows) step(manager, row);
        system.CloseServiceHandle(manager);
    };
    const std::vector<double> m = SideBySide(runs_, {
        [&] {
            std::vector<qm::ServiceStatus> services;
            eachRow([&](qm::ManagerHandle, const qm::OverviewRow&) {});
            const qm::ManagerHandle manager = system.OpenManager();
            system.EnumServiceStatuses(manager, services);
            system.CloseServiceHandle(manager);
        },
        [&] {
            eachRow([&](qm::ManagerHandle manager, const qm::OverviewRow& row) {
                std::uint32_t error = 0;
                std::string account;
                const qm::ServiceHandle service = system.OpenServiceFor(manager, row.name, qm::ServiceAccess::Query, error);
                system.QueryServiceAccount(service, account);
                system.CloseServiceHandle(service);
            });
        },
        [&] {
            for (const qm::OverviewRow& row : rows) {
                qm::VersionNumber version{};
                system.ReadFileVersion(row.folder + "KorvaneSrv.exe", version);
            }
        },
        [&] {
            qm::MachineContext s = machine_.Alone(user_);
            std::string executable;
            for (const qm::OverviewRow& row : rows) qm::ScriptFolder(s, row.name, executable);
        },
        [&] { overview_.Fill(cells); },
    });
    const char* const names[] = {"enumerate_statuses", "read_accounts", "read_versions", "read_folders", "fill_list_view"};
    for (std::size_t i = 0; i < m.size(); ++i) Part("overview", n_, names[i], m[i]);
}

// Where the time of the tool's side goes: each step alone, with the
// same calls the tool makes.
void BenchDialog::MeasureParts() {
    std::vector<std::string> names, family;
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!qm::EnumerateServices(machine_.system, qm::ManagerHandle{reinterpret_cast<std::uintptr_t>(manager)}, names)) Fail("EnumerateServices");
    CloseServiceHandle(manager);
    for (const std::string& name : names) {
        if (qm::IsFamilyService(name)) family.push_back(name);
    }
    std::vector<qm::Instance> instances;
    for (const std::string& name : family) {
        qm::MachineContext s = machine_.Alone(user_);
        qm::Instance instance;
        instance.serviceName = name;
        if (qm::ReadInstallFolder(s, name, instance.folder)) instances.push_back(instance);
    }
    const std::string script = qm::UpdateScript(kUpdateFolder, instances);

    // The list filled as Fill does it, and one entry at a time with
    // redraw left on, as a sorted list box is usually filled.
    auto fillRedrawOn = [this, &family] {
        list_.ResetContent();
        for (const std::string& e : family) list_.AddString(e);
    };
    std::vector<double> m = SideBySide(runs_, {
        [this] {
            SC_HANDLE h = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
            std::vector<std::string> all;
            qm::EnumerateServices(machine_.system, qm::ManagerHandle{reinterpret_cast<std::uintptr_t>(h)}, all);
            CloseServiceHandle(h);
        },
        [&names] {
            qm::SuffixCounter counter;
            for (const std::string& name : names) counter.Count(name);
            counter.Propose(names);
        },
        [this, &family] { list_.Fill(family); },
        fillRedrawOn,
        [this, &family] {
            for (const std::string& name : family) {
                qm::MachineContext s = machine_.Alone(user_);
                std::string folder;
                qm::ReadInstallFolder(s, name, folder);
            }
        },
        [&instances] { qm::UpdateScript(kUpdateFolder, instances); },
        [this, &script] { machine_.host.WriteFileAtomically(kScriptPath, script); },
    });
    Part("refresh", n_, "enumerate_names", m[0]);
    Part("refresh", n_, "count_and_propose", m[1]);
    Part("refresh", n_, "fill_list", m[2]);
    Part("refresh", n_, "fill_list_redraw_on", m[3]);
    Part("script", n_, "read_folders", m[4]);
    Part("script", n_, "script_text", m[5]);
    Part("script", n_, "write_file", m[6]);
}

// ---- start-up ---------------------------------------------------------

struct Search {
    DWORD pid;
    const char* title;
    HWND found;
};

BOOL CALLBACK FindShown(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<Search*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid || !IsWindowVisible(window)) return TRUE;
    char title[128] = {};
    GetWindowTextA(window, title, sizeof title);
    if (std::strcmp(title, search->title) != 0) return TRUE;
    search->found = window;
    return FALSE;
}

// Starts |exe| and polls until its window |title| is shown and, when
// |listCount| >= 0, its control 1000 holds that many entries; then closes
// it. Returns the microseconds from process start to the window ready.
double StartUp(const std::string& exe, const char* title, int listCount, const std::string& arguments = {}) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string commandLine = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
    const double start = Now();
    if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        Fail("CreateProcessA " + exe);
    }
    HWND window = nullptr;
    const bool shown = PollUntil([&] {
        Search search{process.dwProcessId, title, nullptr};
        EnumWindows(FindShown, reinterpret_cast<LPARAM>(&search));
        window = search.found;
        DWORD_PTR count = 0;
        return window && (listCount < 0 || (SendMessageTimeoutA(GetDlgItem(window, kListId), LB_GETCOUNT, 0, 0,
                                                                 SMTO_ABORTIFHUNG, 5000, &count) &&
                                            static_cast<int>(count) == listCount));
    }, 2 * kPatience, 1);
    const double ready = Now() - start;
    if (!shown) Fail("no window from " + exe);
    PostMessageA(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.hProcess, kPatience) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        Fail(exe + " did not close");
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return ready;
}

// Quilmarsk against the minimal program; as parts, the minimal program's
// variants that enumerate the services or show Quilmarsk's dialog.
int StartUpBench(int n, int runs, const std::string& quilmarsk, const std::string& minimal) {
    const std::string folder = FolderOf(minimal);
    const std::string enumerating = folder + "minimal_enumerating.exe";
    const std::string dialog = folder + "minimal_dialog.exe";
    const std::string sufficient = std::to_string(SufficientEnumerationBytes());
    std::vector<double> m = SideBySide(runs, {
        [&] { StartUp(quilmarsk, kMainTitle, n / kFamilyEvery); },
        [&] { StartUp(minimal, kMinimalTitle, -1); },
        [&] { StartUp(enumerating, kMinimalTitle, -1); },
        [&] { StartUp(dialog, kMainTitle, -1); },
        [&] { StartUp(enumerating, kMinimalTitle, -1, sufficient); },
    });
    Result("startup", n, m[0], m[1]);
    Part("startup", n, "minimal", m[1]);
    Part("startup", n, "minimal_enumerating", m[2]);
    Part("startup", n, "minimal_dialog", m[3]);
    Part("startup", n, "minimal_enumerating_once", m[4]);
    Part("startup", n, "quilmarsk", m[0]);
    return 0;
}

}  // namespace

int main(int argc, char** argv) try {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "populate" && argc == 4) return Populate(std::atoi(argv[2]), std::atoi(argv[3]));
    if (mode == "measure" && argc == 4) {
        if (!ui::ListView::Register()) Fail("InitCommonControlsEx");
        BenchDialog dialog(std::atoi(argv[2]), std::atoi(argv[3]));
        if (dialog.RunModal(kBenchDialog) == -1) Fail("DialogBoxParamA");
        return 0;
    }
    if (mode == "startup" && argc == 6) return StartUpBench(std::atoi(argv[2]), std::atoi(argv[3]), argv[4], argv[5]);
    std::fprintf(stderr,
                 "usage: qm_bench populate FROM TO\n"
                 "       qm_bench measure N RUNS\n"
                 "       qm_bench startup N RUNS QUILMARSK_EXE MINIMAL_EXE\n");
    return 2;
} catch (const MachineError& e) {
    Fail(e.what());
}
