// The program's main window under Wine and Xvfb: Quorvane.exe is started as a separate
// process, driven through the window driver, and talks to a scripted stand-in for the
// mail service on the loopback interface (the service host the program was built for).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "tests/app/stub_service.h"
#include "tests/support/window_driver.h"

namespace quorvane {
namespace {

const std::string kMailDomain = QUORVANE_TEST_MAIL_DOMAIN;
const std::string kCaptionDomain = QUORVANE_TEST_CAPTION_DOMAIN;
const std::string kInitialName = "325931666666666666666666666666666";
const std::string kServiceHome = "http://" QUORVANE_TEST_SERVICE_HOST "/";
// GBK bytes of the texts the window shows.
const std::string kButtonText = "\xD2\xBB\xBC\xFC\xC9\xEA\xC7\xEB";  // 一键申请
const std::string kPromptText =
    "\x2A\xC7\xEB\xCA\xE4\xC8\xEB\xD2\xAA\xB8\xC4\xB5\xC4\xD3\xCA\xCF\xE4\xA3\xBA";  // *请输入要改的邮箱：
const std::string kDefaultUserAgent =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 2.0.50727; "
    ".NET CLR 3.0.04506.648; .NET CLR 3.5.21022)";
const std::string kDefaultAccept =
    "image/gif, image/bmp, image/x-xbitmap, image/jpeg, image/pjpeg, "
    "application/x-shockwave-flash, application/vnd.ms-excel, "
    "application/vnd.ms-powerpoint, application/msword, */*";

// A Unix path as Wine sees it (drive Z: is the Unix root); Windows paths stay as they are.
std::wstring ProgramPath(const char* path) {
    std::wstring wide(path, path + strlen(path));
    if (!wide.empty() && wide[0] == L'/') {
        std::replace(wide.begin(), wide.end(), L'/', L'\\');
        wide = L"Z:" + wide;
    }
    return wide;
}

std::wstring Wide(const std::string& gbk) {
    const int size = MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), wide.data(), size);
    return wide;
}

bool IsHomeRequest(const StubRequest& r) { return r.method == "GET" && r.path == "/"; }
bool IsApplication(const StubRequest& r) { return r.method == "POST" && r.path == "/applymail"; }

// The mailbox name between "mail=" and "%40" of an application body.
std::string NameIn(const std::string& body) {
    const size_t end = body.rfind("%40");
    return body.size() > 5 && end != std::string::npos ? body.substr(5, end - 5) : "";
}

// Answers each application with the cookie "mailbox=<name sent>", the first one after
// `firstDelayMs` (or never when `stallApplications`), every page request at once.
struct ServiceScript {
    unsigned firstDelayMs = 0;
    bool stallApplications = false;
};

StubService::Responder Scripted(ServiceScript script) {
    auto first = std::make_shared<std::atomic<int>>(0);  // number of the first application
    return [script, first](const StubRequest& request) {
        if (!IsApplication(request)) return StubAnswer{};
        const std::string name = NameIn(request.body);
        StubAnswer answer = CookieAnswer(name.empty() ? "none" : name);
        answer.stall = script.stallApplications;
        int none = 0;
        if (first->compare_exchange_strong(none, request.number)) answer.delayMs = script.firstDelayMs;
        return answer;
    };
}

class MainWindowTest : public ::testing::Test {
protected:
    // Starts the service stand-in and the program, and waits for the main window.
    void Launch(ServiceScript script = {}, const char* program = QUORVANE_TEST_PROGRAM) {
        service_ = std::make_unique<StubService>(QUORVANE_TEST_SERVICE_PORT, Scripted(script));
        ASSERT_TRUE(service_->Listening()) << "port " << QUORVANE_TEST_SERVICE_PORT << " is taken";
        auto child = ChildProcess::Start(ProgramPath(program));
        ASSERT_TRUE(child) << "cannot start the program";
        child_ = std::move(*child);
        window_ = WaitForWindow(kMainWindowClass, child_.Id(), 30000);
        ASSERT_NE(window_, nullptr) << "no main window appeared";
        edit_ = FindControl(window_, kEditBox1);
        button_ = FindControl(window_, kButton1);
        ASSERT_NE(edit_, nullptr);
        ASSERT_NE(button_, nullptr);
    }

    void TearDown() override {
        if (window_ && IsWindow(window_)) AskToClose(window_);
        if (child_.Handle() && !child_.WaitForExit(10000)) child_.Kill();
        service_.reset();
    }

    // Waits for the view's first load of the service page, so later requests are the
    // program's answer to what the test does.
    void WaitForStartPage() {
        ASSERT_TRUE(service_->WaitFor([](auto& all) { return std::ranges::any_of(all, IsHomeRequest); },
                                      30000))
            << "the view never asked for the service page";
    }

    // What the service received, one line a request, for failure messages.
    std::string Received() const {
        std::string lines;
        for (const StubRequest& r : service_->Requests()) {
            lines += std::to_string(r.number) + ": " + r.method + " " + r.path +
                     " cookie=" + r.Header("Cookie") + " body=" + r.body + "\n";
        }
        lines += "order:";
        for (const StubEvent& e : service_->Journal()) {
            lines += (e.kind == StubEvent::kArrived ? " in " : " out ") + std::to_string(e.request);
        }
        return lines + "\n";
    }

    std::vector<StubRequest> Applications() const {
        std::vector<StubRequest> found;
        for (const StubRequest& r : service_->Requests()) {
            if (IsApplication(r)) found.push_back(r);
        }
        return found;
    }

    // Waits for a request for the service page carrying `cookie`, made after request `after`.
    bool WaitForPageWithCookie(const std::string& cookie, int after, unsigned timeoutMs = 20000) {
        return service_->WaitFor(
            [&](const std::vector<StubRequest>& all) {
                return std::ranges::any_of(all, [&](const StubRequest& r) {
                    return r.number > after && IsHomeRequest(r) &&
                           r.Header("Cookie").find(cookie) != std::string::npos;
                });
            },
            timeoutMs);
    }

    int NumberOfPageWithCookie(const std::string& cookie, int after) const {
        for (const StubRequest& r : service_->Requests()) {
            if (r.number > after && IsHomeRequest(r) &&
                r.Header("Cookie").find(cookie) != std::string::npos) {
                return r.number;
            }
        }
        return 0;
    }

    // Presses the button and returns the application request it sent.
    StubRequest PressAndCatchApplication() {
        const size_t before = Applications().size();
        PostButtonClick(button_);
        EXPECT_TRUE(service_->WaitFor(
            [&](auto& all) { return static_cast<size_t>(std::ranges::count_if(all, IsApplication)) > before; },
            20000))
            << "no application arrived";
        const auto found = Applications();
        return found.size() > before ? found[before] : StubRequest{};
    }

    std::unique_ptr<StubService> service_;
    ChildProcess child_;
    HWND window_ = nullptr;
    HWND edit_ = nullptr;
    HWND button_ = nullptr;
};

TEST_F(MainWindowTest, WindowHasItsFixedFrameSizeAndPlace) {
    Launch();
    const RECT outer = WindowRectOf(window_);
    EXPECT_EQ(outer.right - outer.left, 768);
    EXPECT_EQ(outer.bottom - outer.top, 570);
    EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - 768) / 2);
    EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - 570) / 2);

    const LONG_PTR style = StyleOf(window_);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME) << "the frame must not be resizable";
    EXPECT_FALSE(ExStyleOf(window_) & WS_EX_TOPMOST);

    EXPECT_EQ(WindowTextAnsi(window_), "Quorvane - " + kCaptionDomain + std::string(17, ' '));
}

TEST_F(MainWindowTest, ControlsStandInTheirPlacesWithTheirTexts) {
    Launch();
    struct Place {
        int id, left, top, width, height;
    };
    const Place places[] = {
        {kGroupBox1, 512, 1, 248, 40},   {kHyperLinker1, 7, 14, 235, 16},
        {kServiceView, 2, 49, 758, 487}, {kButton1, 417, 11, 72, 24},
        {kLabel2, 350, 12, 61, 24},      {kLabel1, 3, 12, 112, 24},
        {kEditBox1, 120, 14, 227, 24},   {kOfficialSiteView, -248, -136, 8, 16},
    };
    for (const Place& place : places) {
        SCOPED_TRACE(place.id);
        HWND control = FindControl(window_, place.id);
        ASSERT_NE(control, nullptr);
        const RECT rect = RectInParent(control);
        EXPECT_EQ(rect.left, place.left);
        EXPECT_EQ(rect.top, place.top);
        EXPECT_EQ(rect.right - rect.left, place.width);
        EXPECT_EQ(rect.bottom - rect.top, place.height);
        EXPECT_TRUE(StyleOf(control) & WS_VISIBLE);
    }
    HWND group = FindControl(window_, kGroupBox1);
    EXPECT_EQ(GetParent(FindControl(window_, kHyperLinker1)), group);
    EXPECT_EQ(GetParent(FindControl(window_, kServiceView)), window_);

    EXPECT_EQ(WindowTextAnsi(button_), kButtonText);
    EXPECT_EQ(WindowTextAnsi(FindControl(window_, kLabel1)), kPromptText);
    EXPECT_EQ(WindowTextAnsi(FindControl(window_, kLabel2)), "@" + kMailDomain);
    EXPECT_EQ(WindowTextAnsi(edit_), kInitialName);
    EXPECT_EQ(WindowTextAnsi(group), "");
    EXPECT_EQ(SendMessageW(edit_, EM_GETLIMITTEXT, 0, 0), 40);
    EXPECT_TRUE(ExStyleOf(edit_) & WS_EX_CLIENTEDGE);
    EXPECT_FALSE(IsWindowEnabled(FindControl(window_, kLabel1)));
    EXPECT_FALSE(IsWindowEnabled(FindControl(window_, kLabel2)));
    EXPECT_EQ(FocusedControl(window_), edit_) << "the edit box holds the first focus";

    // The official-site view lies wholly outside the client area.
    const RECT client = ClientRectOf(window_);
    const RECT hidden = RectInParent(FindControl(window_, kOfficialSiteView));
    RECT overlap;
    EXPECT_FALSE(IntersectRect(&overlap, &client, &hidden));
}

// Counts the pixels of `colour` inside a control, captured from the screen.
int PixelsOfColour(HWND control, COLORREF colour) {
    const auto capture = CaptureScreenRect(ClientRectOnScreen(control));
    if (!capture) return -1;
    return static_cast<int>(std::ranges::count(capture->pixels, colour));
}

TEST_F(MainWindowTest, DisabledLabelsAreDrawnInTheirColours) {
    Launch();
    BringToForeground(window_);
    HWND prompt = FindControl(window_, kLabel1), domain = FindControl(window_, kLabel2);
    RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    int red = 0, violet = 0;
    for (int attempt = 0; attempt < 40 && (red == 0 || violet == 0); ++attempt) {
        Sleep(100);
        red = PixelsOfColour(prompt, RGB(255, 0, 0));
        violet = PixelsOfColour(domain, RGB(88, 48, 224));
    }
    EXPECT_GT(red, 10) << "标签1 shows no red text";
    EXPECT_GT(violet, 10) << "标签2 shows no text in RGB(88, 48, 224)";
    EXPECT_EQ(PixelsOfColour(prompt, RGB(88, 48, 224)), 0);
}

TEST_F(MainWindowTest, EditBoxTakesTypedDigitsAndDashesOnly) {
    Launch();
    SetText(edit_, L"");
    TypeCharacters(edit_, L"ab 1.Z-2 x3");
    EXPECT_EQ(WindowTextAnsi(edit_), "1-23");

    SetText(edit_, L"");
    TypeCharacters(edit_, std::wstring(40, L'7'));
    TypeCharacters(edit_, L"8");
    EXPECT_EQ(WindowTextAnsi(edit_), std::string(40, '7')) << "a 41st character is refused";

    SendMessageW(edit_, WM_CHAR, VK_BACK, 1);
    EXPECT_EQ(WindowTextAnsi(edit_), std::string(39, '7')) << "Backspace passes the filter";

    SetText(edit_, L"");
    ASSERT_TRUE(PasteText(edit_, L"a&b c.D"));
    EXPECT_EQ(WindowTextAnsi(edit_), "a&b c.D") << "pasted text is not filtered";
}

struct KeyCase {
    const char* name;
    int focus;
    bool shift;
    bool closes;
};

class EscapeKeyTest : public MainWindowTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(EscapeKeyTest, EscClosesTheWindowShiftEscDoesNot) {
    const KeyCase& key = GetParam();
    Launch();
    ASSERT_TRUE(BringToForeground(window_));
    ASSERT_TRUE(FocusControl(FindControl(window_, key.focus)));
    ASSERT_TRUE(SendKey(VK_ESCAPE, key.shift));
    const auto code = child_.WaitForExit(key.closes ? 10000 : 1500);
    if (key.closes) {
        ASSERT_TRUE(code) << "the window did not close";
        EXPECT_EQ(*code, 0u);
    } else {
        EXPECT_FALSE(code) << "the program ended";
        EXPECT_TRUE(IsWindowVisible(window_));
        // The same key without Shift reaches the same control and does close.
        ASSERT_TRUE(SendKey(VK_ESCAPE));
        EXPECT_EQ(child_.WaitForExit(10000), std::optional<DWORD>(0));
    }
}

INSTANTIATE_TEST_SUITE_P(Keys, EscapeKeyTest,
                         ::testing::Values(KeyCase{"EscInEditBox", kEditBox1, false, true},
                                           KeyCase{"EscOnButton", kButton1, false, true},
                                           KeyCase{"ShiftEscInEditBox", kEditBox1, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, PressSendsTheApplicationThenReloadsThePageWithItsCookie) {
    Launch();
    WaitForStartPage();
    const StubRequest post = PressAndCatchApplication();
    EXPECT_EQ(post.body, "mail=" + kInitialName + "%40" + kMailDomain);
    EXPECT_EQ(post.Header("User-Agent"), kDefaultUserAgent);
    EXPECT_EQ(post.Header("Accept"), kDefaultAccept);
    EXPECT_EQ(post.Header("Referer"), "http://" QUORVANE_TEST_SERVICE_HOST "/applymail");
    EXPECT_EQ(post.Header("Accept-Language"), "zh-cn");
    EXPECT_EQ(post.Header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(post.Header("Content-Length"), std::to_string(post.body.size()));
    EXPECT_EQ(post.Header("Host"), QUORVANE_TEST_SERVICE_HOST);

    EXPECT_TRUE(WaitForPageWithCookie("mailbox=" + kInitialName, post.number))
        << "the view did not reload the service page with the cookie the answer set";
}

TEST_F(MainWindowTest, RealMouseClickOnTheButtonAppliesToo) {
    Launch();
    WaitForStartPage();
    ASSERT_TRUE(BringToForeground(window_));
    ASSERT_TRUE(MouseClick(button_));
    ASSERT_TRUE(service_->WaitFor([](auto& all) { return std::ranges::any_of(all, IsApplication); },
                                  20000))
        << "the click sent no application\n" << Received();
    EXPECT_EQ(Applications().size(), 1u);
}

struct BodyCase {
    const char* name;
    const wchar_t* pasted;  // the edit box's text, put there by pasting
    std::string sentName;   // what goes between "mail=" and "%40"
};

class ApplicationBodyTest : public MainWindowTest, public ::testing::WithParamInterface<BodyCase> {};

TEST_P(ApplicationBodyTest, NameIsFormEncodedInTheBody) {
    const BodyCase& body = GetParam();
    Launch();
    WaitForStartPage();
    SetText(edit_, L"");
    if (*body.pasted) {
        ASSERT_TRUE(PasteText(edit_, body.pasted));
    }
    const StubRequest post = PressAndCatchApplication();
    EXPECT_EQ(post.body, "mail=" + body.sentName + "%40" + kMailDomain);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ApplicationBodyTest,
    ::testing::Values(BodyCase{"Empty", L"", ""}, BodyCase{"Typable", L"12-34", "12-34"},
                      BodyCase{"AmpersandAndSpace", L"a&b c", "a%26b%20c"},
                      BodyCase{"EqualsSign", L"a&b=c d", "a%26b%3Dc%20d"},
                      BodyCase{"Unreserved", L"A.z_~", "A.z_~"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, SecondPressIsSettledAndRefreshedBeforeTheFirst) {
    Launch({.firstDelayMs = 4000});
    WaitForStartPage();
    SetText(edit_, L"111");
    const StubRequest first = PressAndCatchApplication();
    // Posted, not sent: the program is inside the first request's wait, which serves
    // posted messages and input only.
    PostCharacters(edit_, L"222", true);
    const StubRequest second = PressAndCatchApplication();
    ASSERT_EQ(NameIn(first.body), "111");
    ASSERT_EQ(NameIn(second.body), "222");

    ASSERT_TRUE(WaitForPageWithCookie("mailbox=222", second.number)) << "no refresh after the second\n" << Received();
    ASSERT_TRUE(WaitForPageWithCookie("mailbox=111", second.number)) << "no refresh after the first\n" << Received();
    const int secondRefresh = NumberOfPageWithCookie("mailbox=222", second.number);
    const int firstRefresh = NumberOfPageWithCookie("mailbox=111", second.number);

    // In the journal: the second answered, its refresh, the first answered, its refresh.
    const auto journal = service_->Journal();
    auto at = [&](StubEvent::Kind kind, int number) {
        return std::ranges::find_if(journal, [&](const StubEvent& e) {
                   return e.kind == kind && e.request == number;
               }) - journal.begin();
    };
    EXPECT_LT(at(StubEvent::kAnswered, second.number), at(StubEvent::kArrived, secondRefresh));
    EXPECT_LT(at(StubEvent::kArrived, secondRefresh), at(StubEvent::kAnswered, first.number));
    EXPECT_LT(at(StubEvent::kAnswered, first.number), at(StubEvent::kArrived, firstRefresh));
}

TEST_F(MainWindowTest, ClosingDuringAStalledRequestEndsTheProgramPromptly) {
    Launch({.stallApplications = true});
    WaitForStartPage();
    PressAndCatchApplication();
    Sleep(300);
    const DWORD closed = GetTickCount();
    AskToClose(window_);
    const auto code = child_.WaitForExit(15000);
    const DWORD took = GetTickCount() - closed;
    ASSERT_TRUE(code) << "the program did not end while its request was outstanding";
    EXPECT_EQ(*code, 0u);
    EXPECT_LT(took, 4000u) << "about a second is the promise; the machine may be slow";
    std::printf("the program ended %lu ms after the window was asked to close\n",
                static_cast<unsigned long>(took));
}

TEST_F(MainWindowTest, TextsReadRightUnderAnotherCodePage) {
    // The program inherits this test's code page; the entry that sets another locale
    // makes sure it is not 936 there.
    if (GetEnvironmentVariableW(L"QUORVANE_EXPECT_OTHER_CODE_PAGE", nullptr, 0) > 0) {
        ASSERT_NE(GetACP(), 936u);
    }
    Launch();
    EXPECT_EQ(WindowTextWide(window_), Wide("Quorvane - " + kCaptionDomain + std::string(17, ' ')));
    EXPECT_EQ(WindowTextWide(button_), L"\u4E00\u952E\u7533\u8BF7");
    EXPECT_EQ(WindowTextWide(FindControl(window_, kLabel1)),
              L"*\u8BF7\u8F93\u5165\u8981\u6539\u7684\u90AE\u7BB1\uFF1A");
    EXPECT_EQ(WindowTextWide(edit_), Wide(kInitialName));
}

TEST_F(MainWindowTest, OfficialSiteIsLoadedOnceAtStartAndNeverShown) {
    StubService official(QUORVANE_TEST_OFFICIAL_PORT, {});
    ASSERT_TRUE(official.Listening());
    Launch({}, QUORVANE_TEST_OFFICIAL_PROGRAM);
    EXPECT_TRUE(official.WaitFor([](auto& all) { return !all.empty(); }, 30000));
    WaitForStartPage();
    Sleep(2000);  // a second load would have come by now
    const auto requests = official.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].path, "/");
    const RECT client = ClientRectOf(window_);
    const RECT hidden = RectInParent(FindControl(window_, kOfficialSiteView));
    RECT overlap;
    EXPECT_FALSE(IntersectRect(&overlap, &client, &hidden));
}

}  // namespace
}  // namespace quorvane
