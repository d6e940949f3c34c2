// Window class and control identifiers of MainWindow, shared by the program and the
// window driver that tests and the run command use.
#pragma once

namespace quorvane {

inline constexpr wchar_t kMainWindowClass[] = L"QuorvaneMainWindow";

enum ControlId : int {
    kEditBox1 = 1001,        // 编辑框1: the wanted mailbox name
    kButton1 = 1002,         // 按钮1: "一键申请"
    kLabel1 = 1003,          // 标签1: the prompt
    kLabel2 = 1004,          // 标签2: "@" + mail domain
    kGroupBox1 = 1005,       // 分组框1
    kHyperLinker1 = 1006,    // 超级链接框1, inside 分组框1
    kServiceView = 1007,     // 超文本浏览框1: the service's page
    kOfficialSiteView = 1008 // 官方网站: off-screen view of the maker's site
};

}  // namespace quorvane
