// The feedback window, opened in this process with a scripted service in place of the network
// and worked from a timer while its modal loop runs, as a user would: its layout and texts, the
// choice panels as they are drawn, every outcome of "发送" with its message box, Esc and Enter,
// and the limits of the two text fields.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "../shared/window_probe.h"
#include "ui/control_ids.h"
#include "modal_script.h"
#include "platform/win32/win32_system.h"
#include "util/text.h"
#include "windows/feedback.h"

namespace quillet {
namespace {

// The service as the window sees it: every post is kept and answered with the next scripted
// answer (nullopt: the exchange fails); when the answers run out, every exchange fails.
class ScriptedService final : public Transport {
 public:
  struct Sent {
    std::string address;
    ParameterList parameters;
  };
  std::vector<std::optional<std::string>> answers;
  std::function<void()> whilePosting;  // runs inside each post, on the thread of the send
  std::vector<Sent> posts;

  std::string Post(const std::string& address, const ParameterList& parameters) override {
    posts.push_back({address, parameters});
    if (whilePosting) whilePosting();
    const std::size_t index = posts.size() - 1;
    if (index >= answers.size() || !answers[index]) throw ServiceError("no answer");
    return *answers[index];
  }
};

struct Form {
  HWND window, liked, disliked, likedFace, dislikedFace, memo, edit, button;
};

Form FormOf(HWND window) {
  Form form{};
  form.window = window;
  form.liked = GetDlgItem(window, IDC_FEEDBACK_PANEL4);
  form.disliked = GetDlgItem(window, IDC_FEEDBACK_PANEL5);
  form.likedFace = GetDlgItem(form.liked, IDC_FEEDBACK_IMAGE1);
  form.dislikedFace = GetDlgItem(form.disliked, IDC_FEEDBACK_IMAGE2);
  form.memo = GetDlgItem(window, IDC_FEEDBACK_MEMO1);
  form.edit = GetDlgItem(window, IDC_FEEDBACK_EDIT1);
  form.button = GetDlgItem(window, IDC_FEEDBACK_BITBTN1);
  return form;
}

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

// A choice panel as it is drawn: the colour of its background, of the corners of its bevel,
// and whether its caption shows in a given colour (somewhere right of the face, inside the
// bevel).
struct PanelLook {
  COLORREF background = 0, topLeft = 0, bottomRight = 0;
  bool captionInWindowText = false, captionInHighlightText = false;
};

PanelLook LookOf(HWND panel) {
  UpdateWindow(panel);
  RECT client{};
  GetClientRect(panel, &client);
  HDC dc = GetDC(panel);
  PanelLook look;
  look.background = GetPixel(dc, client.right - 6, client.bottom / 2);
  look.topLeft = GetPixel(dc, 0, 0);
  look.bottomRight = GetPixel(dc, client.right - 1, client.bottom - 1);
  for (int y = 2; y < client.bottom - 2; ++y) {
    for (int x = 40; x < client.right - 2; ++x) {
      const COLORREF pixel = GetPixel(dc, x, y);
      look.captionInWindowText |= pixel == GetSysColor(COLOR_WINDOWTEXT);
      look.captionInHighlightText |= pixel == GetSysColor(COLOR_HIGHLIGHTTEXT);
    }
  }
  ReleaseDC(panel, dc);
  return look;
}

bool ShownChosen(HWND panel) { return LookOf(panel).background == GetSysColor(COLOR_HIGHLIGHT); }

// A message box of this thread and what it shows.
struct ShownBox {
  std::wstring ownerClass;
  std::wstring caption, text;
  HICON icon = nullptr;
};

ShownBox ReadBox(HWND box) {
  ShownBox shown;
  wchar_t ownerClass[64] = {};
  GetClassNameW(GetWindow(box, GW_OWNER), ownerClass, 64);
  shown.ownerClass = ownerClass;
  shown.caption = TextOf(box);
  shown.text = TextOf(GetDlgItem(box, 0xFFFF));
  // The icon control of a standard message box: 20 in Windows, stc1 in Wine.
  HWND icon = GetDlgItem(box, 20);
  if (!icon) icon = GetDlgItem(box, 0x440);
  shown.icon = reinterpret_cast<HICON>(SendMessageW(icon, STM_GETICON, 0, 0));
  return shown;
}

// One run of the window: the steps run against it as a script (see modal_script.h); what the
// window shows once every step has run is noted, then it is closed.
struct Outcome {
  std::vector<ShownBox> boxes;
  bool openAfterSteps = false;
  std::wstring memo, email;
  bool likedChosen = false, dislikedChosen = false;
};

// A step against the open window: true once it is done. It may note what it saw in the run's
// outcome.
using Step = std::function<bool(const Form&, Outcome&)>;

FeedbackFormArgs ArgsFor(Transport& service, HWND owner = nullptr) {
  FeedbackFormArgs args;
  args.owner = owner;
  args.appProduct = "Quillet";
  args.appCaption = "KALMIRO - Quillet";
  args.appVersion = "3.1";
  args.feedbackAddress = "feedback.example.com/service/feedback";
  args.network = &service;
  return args;
}

Outcome RunFeedbackWindow(const FeedbackFormArgs& args, const std::vector<Step>& steps) {
  Outcome outcome;
  testing::Script script;
  auto onTheWindow = [&outcome](Step step) {
    return [&outcome, step = std::move(step)] {
      HWND window = FindWindowW(QUILLET_FEEDBACK_CLASS, nullptr);
      return window && step(FormOf(window), outcome);
    };
  };
  for (const Step& step : steps) script.steps.push_back(onTheWindow(step));
  // Once the steps are done and no message box is left, what the window shows.
  script.steps.push_back(onTheWindow([](const Form& form, Outcome& after) {
    if (testing::ShownMessageBox()) return false;
    after.openAfterSteps = true;
    after.memo = TextOf(form.memo);
    after.email = TextOf(form.edit);
    after.likedChosen = ShownChosen(form.liked);
    after.dislikedChosen = ShownChosen(form.disliked);
    PostMessageW(form.window, WM_CLOSE, 0, 0);
    return true;
  }));
  script.giveUp = [] {
    if (HWND box = testing::ShownMessageBox()) {
      ADD_FAILURE() << "a message box nobody expected: " << Narrow(TextOf(GetDlgItem(box, 0xFFFF)));
      PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    if (HWND window = FindWindowW(QUILLET_FEEDBACK_CLASS, nullptr)) PostMessageW(window, WM_CLOSE, 0, 0);
  };
  const testing::ScriptReport report = testing::RunScript([&] { ShowFeedbackForm(args); }, std::move(script));
  EXPECT_GE(report.stepsDone, steps.size()) << "the window closed before every step ran";
  EXPECT_EQ(FindWindowW(QUILLET_FEEDBACK_CLASS, nullptr), nullptr) << "the window outlived its loop";
  return outcome;
}

// Steps.
Step Do(std::function<void(const Form&)> action) {
  return [action](const Form& form, Outcome&) {
    action(form);
    return true;
  };
}
Step WaitFor(std::function<bool(const Form&)> condition) {
  return [condition](const Form& form, Outcome&) { return condition(form); };
}
Step SetMemo(const std::wstring& text) {
  return Do([text](const Form& form) { SetWindowTextW(form.memo, text.c_str()); });
}
Step SetEmail(const std::wstring& text) {
  return Do([text](const Form& form) { SetWindowTextW(form.edit, text.c_str()); });
}
// A left click as the pointer gives it, at a point of a window's client area (by default
// near its right end, away from a face).
void Click(HWND window, std::optional<POINT> at = std::nullopt) {
  RECT client{};
  GetClientRect(window, &client);
  const POINT point = at ? *at : POINT{client.right - 8, client.bottom / 2};
  PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(point.x, point.y));
  PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(point.x, point.y));
}
enum class Target { kLikedPanel, kLikedFace, kDislikedPanel, kDislikedFace };
Step ClickOn(Target target) {
  return Do([target](const Form& form) {
    switch (target) {
      case Target::kLikedPanel: Click(form.liked); break;
      case Target::kLikedFace: Click(form.likedFace, POINT{16, 16}); break;
      case Target::kDislikedPanel: Click(form.disliked); break;
      case Target::kDislikedFace: Click(form.dislikedFace, POINT{16, 16}); break;
    }
  });
}
// A key pressed and released on a control that has the focus.
Step PressIn(HWND Form::*control, WPARAM key) {
  return Do([control, key](const Form& form) {
    SetFocus(form.*control);
    testing::PostKeyPress(form.*control, static_cast<WORD>(key));
  });
}
// A key pressed on the real keyboard, with the keys in `held` down around it, into the window
// in front. The step ends once the keys have been handled and notes which control has the
// focus then (its ID; 0 when it is none of the window's).
Step RealKey(WORD key, std::vector<WORD> held, std::vector<int>& focusAfter) {
  return [press = testing::PressRealKey(key, std::move(held)), &focusAfter](const Form& form, Outcome&) {
    if (!press()) return false;
    HWND focus = GetFocus();
    focusAfter.push_back(focus && IsChild(form.window, focus) ? GetDlgCtrlID(focus) : 0);
    return true;
  };
}
Step ClickSend() {
  return Do([](const Form& form) { PostMessageW(form.button, BM_CLICK, 0, 0); });
}
// Waits for a message box, notes it in the run's outcome and presses its OK button.
Step AnswerBox() {
  return [](const Form&, Outcome& outcome) {
    HWND box = testing::ShownMessageBox();
    if (!box) return false;
    outcome.boxes.push_back(ReadBox(box));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return true;
  };
}

const std::wstring kSuccessText = L"已收到您的反馈.\r\r感谢您!";
const std::wstring kFailureText = L"发生错误. 您的反馈无法送达.\r\r请稍后再试.";
const std::wstring kInvalidEmailText = L"无效的邮件地址!";
const std::string kHttps = "https://feedback.example.com/service/feedback";
const std::string kHttp = "http://feedback.example.com/service/feedback";

ParameterList Request(const std::string& feedback, const std::optional<std::string>& email = std::nullopt) {
  ParameterList request = {"cmd=feedback", "appname=KALMIRO - Quillet", "version=3.1", "feedback=" + feedback};
  if (email) request.push_back("email=" + *email);
  return request;
}

struct Place {
  const char* name;
  RECT rect;  // in the client area of the control's parent
};

std::vector<Place> PlacesOf(const Form& form) {
  std::vector<Place> places;
  for (auto [name, control] : {std::pair{"Panel4", form.liked}, {"Panel5", form.disliked}, {"Image1", form.likedFace},
                               {"Image2", form.dislikedFace}, {"Edit1", form.edit}, {"BitBtn1", form.button}}) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    places.push_back({name, r});
  }
  return places;
}

TEST(FeedbackWindow, IsLaidOutAsDesignedWithTheMemoFocusedAndTheOwnerDisabled) {
  HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(owner);
  ScriptedService service;
  RECT client{}, frame{}, memo{};
  LONG_PTR style = 0, memoStyle = 0, buttonStyle = 0;
  bool ownerEnabled = true, ownedByOwner = false, memoFocused = false;
  std::vector<int> tabOrder;
  std::vector<Place> places;
  HICON icon = nullptr;
  RunFeedbackWindow(ArgsFor(service, owner), {Do([&](const Form& form) {
                      GetClientRect(form.window, &client);
                      GetWindowRect(form.window, &frame);
                      style = GetWindowLongPtrW(form.window, GWL_STYLE);
                      memoStyle = GetWindowLongPtrW(form.memo, GWL_STYLE);
                      buttonStyle = GetWindowLongPtrW(form.button, GWL_STYLE);
                      ownerEnabled = IsWindowEnabled(owner) != FALSE;
                      ownedByOwner = GetWindow(form.window, GW_OWNER) == owner;
                      memoFocused = GetFocus() == form.memo;
                      HWND control = form.memo;
                      for (int i = 0; i < 4; ++i) {
                        tabOrder.push_back(GetDlgCtrlID(control));
                        control = GetNextDlgTabItem(form.window, control, FALSE);
                      }
                      icon = reinterpret_cast<HICON>(GetClassLongPtrW(form.window, GCLP_HICON));
                      places = PlacesOf(form);
                      GetWindowRect(form.memo, &memo);
                      MapWindowPoints(nullptr, form.window, reinterpret_cast<POINT*>(&memo), 2);
                    })});
  EXPECT_EQ(client.right, 525);
  EXPECT_EQ(client.bottom, 326);
  EXPECT_NEAR((frame.left + frame.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
  EXPECT_NEAR((frame.top + frame.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
  EXPECT_NE(icon, nullptr);
  EXPECT_FALSE(ownerEnabled);
  EXPECT_TRUE(ownedByOwner);
  EXPECT_TRUE(IsWindowEnabled(owner)) << "given back when the window closed";
  EXPECT_TRUE(memoFocused);
  EXPECT_EQ(tabOrder, (std::vector<int>{IDC_FEEDBACK_MEMO1, IDC_FEEDBACK_EDIT1, IDC_FEEDBACK_BITBTN1,
                                        IDC_FEEDBACK_MEMO1}));
  EXPECT_TRUE(buttonStyle & BS_DEFPUSHBUTTON);
  EXPECT_TRUE(memoStyle & ES_MULTILINE);
  EXPECT_TRUE(memoStyle & ES_WANTRETURN);
  EXPECT_TRUE(memoStyle & WS_VSCROLL);
  EXPECT_FALSE(memoStyle & (WS_HSCROLL | ES_AUTOHSCROLL)) << "the memo wraps its words";

  // The strip of 46 below a margin of 3, each panel 3 inside it; Panel5 256 wide at its right,
  // Panel4 in what is left. The faces at the left edge of their panels, 32 x 32. Panel2 (40
  // high) 3 above the bottom with BitBtn1 3 inside its right edge; Panel1 (30 high) above it.
  const std::vector<std::pair<const char*, RECT>> expected = {
      {"Panel4", {6, 6, 257, 46}}, {"Panel5", {263, 6, 519, 46}}, {"Image1", {4, 4, 36, 36}},
      {"Image2", {4, 4, 36, 36}},  {"BitBtn1", {339, 286, 519, 320}},
  };
  for (const auto& [name, rect] : expected) {
    for (const Place& place : places) {
      if (std::string(place.name) != name) continue;
      EXPECT_EQ(place.rect.left, rect.left) << name;
      EXPECT_EQ(place.rect.top, rect.top) << name;
      EXPECT_EQ(place.rect.right, rect.right) << name;
      EXPECT_EQ(place.rect.bottom, rect.bottom) << name;
    }
  }
  for (const Place& place : places) {
    if (std::string(place.name) != "Edit1") continue;
    EXPECT_EQ(place.rect.top, 250);
    EXPECT_EQ(place.rect.bottom, 274);
    EXPECT_EQ(place.rect.right, 519);
  }
  EXPECT_EQ(memo.left, 3);
  EXPECT_EQ(memo.right, 522);
  EXPECT_EQ(memo.bottom, 244);
  EXPECT_GT(memo.bottom - memo.top, 100);
  DestroyWindow(owner);
}

TEST(FeedbackWindow, ShowsItsTextsInTheirFonts) {
  struct Expected {
    const char* name;
    HWND Form::*control;  // nullptr: the labels, found by ID
    int id;
    std::wstring text;
    LONG height;
    bool bold;
  };
  const std::vector<Expected> expected = {
      {"Panel4", &Form::liked, 0, L"我喜欢它!", -16, false},
      {"Panel5", &Form::disliked, 0, L"我不喜欢它!", -16, false},
      {"Label1", nullptr, IDC_FEEDBACK_LABEL1, L"我们非常感谢您的反馈.", -16, false},
      {"Label2", nullptr, IDC_FEEDBACK_LABEL2, L"你喜欢或不喜欢什么?", -13, true},
      {"Memo1", &Form::memo, 0, L"", -13, false},
      {"Label3", nullptr, IDC_FEEDBACK_LABEL3, L"包括我的电子邮件:", -13, false},
      {"Edit1", &Form::edit, 0, L"", -13, false},
      {"BitBtn1", &Form::button, 0, L"发送", -13, true},
  };
  ScriptedService service;
  std::wstring caption;
  std::vector<std::pair<std::wstring, LOGFONTW>> shown;
  LOGFONTW windowFont{};
  RunFeedbackWindow(ArgsFor(service), {Do([&](const Form& form) {
                      caption = TextOf(form.window);
                      GetObjectW(reinterpret_cast<HFONT>(SendMessageW(form.window, WM_GETFONT, 0, 0)),
                                 sizeof windowFont, &windowFont);
                      for (const Expected& e : expected) {
                        HWND control = e.control ? form.*e.control : GetDlgItem(form.window, e.id);
                        LOGFONTW font{};
                        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font,
                                   &font);
                        shown.emplace_back(TextOf(control), font);
                      }
                    })});
  EXPECT_EQ(caption, L"Quillet 反馈");
  EXPECT_EQ(windowFont.lfHeight, -11);
  EXPECT_EQ(windowFont.lfCharSet, GB2312_CHARSET);
  ASSERT_EQ(shown.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(shown[i].first, expected[i].text);
    EXPECT_STREQ(shown[i].second.lfFaceName, L"Tahoma");
    EXPECT_EQ(shown[i].second.lfCharSet, GB2312_CHARSET);
    EXPECT_EQ(shown[i].second.lfHeight, expected[i].height);
    EXPECT_EQ(shown[i].second.lfWeight >= FW_BOLD, expected[i].bold);
  }
}

TEST(FeedbackWindow, TheSendButtonShowsTheEnvelopeLeftOfItsCaption) {
  ScriptedService service;
  BUTTON_IMAGELIST picture{};
  int width = 0, height = 0, count = 0;
  RunFeedbackWindow(ArgsFor(service), {Do([&](const Form& form) {
                      SendMessageW(form.button, BCM_GETIMAGELIST, 0, reinterpret_cast<LPARAM>(&picture));
                      if (picture.himl) {
                        ImageList_GetIconSize(picture.himl, &width, &height);
                        count = ImageList_GetImageCount(picture.himl);
                      }
                    })});
  ASSERT_NE(picture.himl, nullptr);
  EXPECT_EQ(width, 16);
  EXPECT_EQ(height, 16);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(picture.margin.left, 3);
  EXPECT_EQ(picture.uAlign, static_cast<UINT>(BUTTON_IMAGELIST_ALIGN_LEFT));
}

TEST(FeedbackWindow, TheChoiceMovesBetweenThePanelsAndIsNeverWithdrawn) {
  struct Case {
    const char* name;
    std::vector<Target> clicks;
    bool liked, disliked;
  };
  const std::vector<Case> cases = {
      {"no click", {}, false, false},
      {"the liked panel", {Target::kLikedPanel}, true, false},
      {"the smiling face", {Target::kLikedFace}, true, false},
      {"the sad face", {Target::kDislikedFace}, false, true},
      {"liked, then the disliked panel", {Target::kLikedPanel, Target::kDislikedPanel}, false, true},
      {"disliked, then the smiling face", {Target::kDislikedPanel, Target::kLikedFace}, true, false},
      {"the chosen panel again", {Target::kLikedPanel, Target::kLikedPanel}, true, false},
      {"the chosen face again", {Target::kDislikedFace, Target::kDislikedPanel}, false, true},
  };
  const COLORREF face = GetSysColor(COLOR_BTNFACE), highlight = GetSysColor(COLOR_HIGHLIGHT);
  const COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT), shadow = GetSysColor(COLOR_BTNSHADOW);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedService service;
    std::vector<Step> steps;
    for (Target target : c.clicks) steps.push_back(ClickOn(target));
    PanelLook liked, disliked;
    steps.push_back(Do([&](const Form& form) {
      liked = LookOf(form.liked);
      disliked = LookOf(form.disliked);
    }));
    RunFeedbackWindow(ArgsFor(service), steps);
    for (auto [chosen, look] : {std::pair{c.liked, liked}, {c.disliked, disliked}}) {
      EXPECT_EQ(look.background, chosen ? highlight : face);
      EXPECT_EQ(look.topLeft, chosen ? shadow : light) << "raised when not chosen, lowered when chosen";
      EXPECT_EQ(look.bottomRight, chosen ? light : shadow);
      EXPECT_EQ(look.captionInHighlightText, chosen);
      EXPECT_EQ(look.captionInWindowText, !chosen);
    }
    EXPECT_TRUE(service.posts.empty());
  }
}

TEST(FeedbackWindow, ThePanelsAndFacesShowTheHandCursorAndTakeNoFocus) {
  ScriptedService service;
  const HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);
  std::vector<HCURSOR> cursors;
  bool memoKeptFocus = false;
  RunFeedbackWindow(ArgsFor(service), {ClickOn(Target::kLikedPanel), ClickOn(Target::kDislikedFace),
                                       Do([&](const Form& form) {
                                         for (HWND over : {form.liked, form.likedFace, form.disliked,
                                                           form.dislikedFace}) {
                                           SetCursor(LoadCursorW(nullptr, IDC_ARROW));
                                           SendMessageW(over, WM_SETCURSOR, reinterpret_cast<WPARAM>(over),
                                                        MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
                                           cursors.push_back(GetCursor());
                                         }
                                         memoKeptFocus = GetFocus() == form.memo;
                                       })});
  EXPECT_EQ(cursors, std::vector<HCURSOR>(4, hand));
  EXPECT_TRUE(memoKeptFocus);
}

// How the send is started.
enum class Trigger { kClick, kEnterInEmail, kEnterOnButton };

struct SendCase {
  const char* name;
  std::vector<Target> clicks;
  std::wstring memo, email;
  std::vector<std::optional<std::string>> answers;
  Trigger trigger;
  // Expected.
  std::vector<std::string> addresses;  // of the posts, in order; each carries `request`
  ParameterList request;
  std::optional<std::pair<std::wstring, std::wstring>> box;  // caption and text
  bool staysOpen;
};

Step Send(Trigger trigger) {
  switch (trigger) {
    case Trigger::kEnterInEmail: return PressIn(&Form::edit, VK_RETURN);
    case Trigger::kEnterOnButton: return PressIn(&Form::button, VK_RETURN);
    case Trigger::kClick: break;
  }
  return ClickSend();
}

TEST(FeedbackWindow, SendsWhatWasEnteredAndReportsTheOutcome) {
  const std::vector<SendCase> cases = {
      {"liked, empty memo", {Target::kLikedPanel}, L"", L"", {"确定"}, Trigger::kClick,
       {kHttps}, Request("我喜欢它!\r"), std::pair{L"成功", kSuccessText}, false},
      {"memo only, trimmed, lines kept; address with blanks around it", {}, L" \r\n第一行\r\n第二行\t\r\n",
       L"  user.name+tag@mail-host.example.org ", {"\r\n 确定 \r\n"}, Trigger::kClick, {kHttps},
       Request("第一行\r\n第二行", "user.name+tag@mail-host.example.org"), std::pair{L"成功", kSuccessText}, false},
      {"liked moved to disliked, sent by Enter in the address", {Target::kLikedPanel, Target::kDislikedFace},
       L"太慢", L"a@b.cn", {"确定"}, Trigger::kEnterInEmail, {kHttps}, Request("我不喜欢它!\r太慢", "a@b.cn"),
       std::pair{L"成功", kSuccessText}, false},
      {"a blank address is no address, sent by Enter on the button", {Target::kDislikedPanel}, L"", L"   ",
       {"确定"}, Trigger::kEnterOnButton, {kHttps}, Request("我不喜欢它!\r"), std::pair{L"成功", kSuccessText},
       false},
      {"https fails, http answers", {Target::kLikedFace}, L"ok", L"", {std::nullopt, "确定"}, Trigger::kClick,
       {kHttps, kHttp}, Request("我喜欢它!\rok"), std::pair{L"成功", kSuccessText}, false},
      {"an answer other than 确定", {Target::kLikedPanel}, L"内容", L"me@example.com", {"OK"}, Trigger::kClick,
       {kHttps}, Request("我喜欢它!\r内容", "me@example.com"), std::pair{L"失败", kFailureText}, true},
      {"an empty answer", {}, L"x", L"", {""}, Trigger::kClick, {kHttps}, Request("x"),
       std::pair{L"失败", kFailureText}, true},
      {"both schemes fail", {Target::kDislikedPanel}, L"", L"", {}, Trigger::kClick, {kHttps, kHttp},
       Request("我不喜欢它!\r"), std::pair{L"失败", kFailureText}, true},
      {"nothing to send: a beep only", {}, L" \r\n\t\r\n ", L"user@example.com", {"确定"}, Trigger::kClick, {},
       {}, std::nullopt, true},
      {"an address without a dot after the first label", {Target::kLikedPanel}, L"", L"user@localhost", {"确定"},
       Trigger::kClick, {}, {}, std::pair{L"失败", kInvalidEmailText}, true},
      {"an address with letters outside ASCII", {}, L"x", L"用户@example.com", {"确定"}, Trigger::kEnterInEmail,
       {}, {}, std::pair{L"失败", kInvalidEmailText}, true},
  };
  for (const SendCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedService service;
    service.answers = c.answers;
    std::vector<Step> steps;
    for (Target target : c.clicks) steps.push_back(ClickOn(target));
    steps.push_back(SetMemo(c.memo));
    steps.push_back(SetEmail(c.email));
    steps.push_back(Send(c.trigger));
    if (c.box) steps.push_back(AnswerBox());
    const Outcome after = RunFeedbackWindow(ArgsFor(service), steps);

    EXPECT_EQ(service.posts.size(), c.addresses.size());
    for (std::size_t i = 0; i < c.addresses.size() && i < service.posts.size(); ++i) {
      EXPECT_EQ(service.posts[i].address, c.addresses[i]);
      EXPECT_EQ(service.posts[i].parameters, c.request);
    }
    EXPECT_EQ(after.boxes.size(), c.box ? 1u : 0u);
    if (c.box && !after.boxes.empty()) {
      const ShownBox& box = after.boxes[0];
      EXPECT_EQ(box.caption, c.box->first);
      EXPECT_EQ(box.text, c.box->second);
      EXPECT_EQ(box.icon, LoadIconW(nullptr, c.box->first == L"成功" ? IDI_INFORMATION : IDI_ERROR));
      EXPECT_EQ(box.ownerClass, QUILLET_FEEDBACK_CLASS);
    }
    EXPECT_EQ(after.openAfterSteps, c.staysOpen);
    if (c.staysOpen) {
      // Everything entered is still there for another try.
      EXPECT_EQ(after.memo, c.memo);
      EXPECT_EQ(after.email, c.email);
      bool liked = false, disliked = false;
      for (Target target : c.clicks) {
        liked = target == Target::kLikedPanel || target == Target::kLikedFace;
        disliked = !liked;
      }
      EXPECT_EQ(after.likedChosen, liked);
      EXPECT_EQ(after.dislikedChosen, disliked);
    }
  }
}

// A window of this thread that tells another thread when a message posted to it has been
// handled. Posted messages are taken in the order they were posted, so once it has handled its
// own, the thread's loop has also taken whatever was posted to this thread before it.
class QueueMark {
 public:
  QueueMark() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"QuilletTestQueueMark";
    RegisterClassW(&windowClass);
    window_ = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(taken_));
  }
  ~QueueMark() {
    DestroyWindow(window_);
    CloseHandle(taken_);
  }
  QueueMark(const QueueMark&) = delete;
  QueueMark& operator=(const QueueMark&) = delete;

  // From another thread: posts the mark and waits until the window's thread has handled it;
  // false when that did not happen within the patience of a test.
  bool PostAndWait() {
    ResetEvent(taken_);
    return PostMessageW(window_, WM_APP, 0, 0) && WaitForSingleObject(taken_, testing::kPatienceMs) == WAIT_OBJECT_0;
  }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) {
      SetEvent(reinterpret_cast<HANDLE>(GetWindowLongPtrW(window, GWLP_USERDATA)));
      return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }

  HANDLE taken_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HWND window_ = nullptr;
};

// Clicks on the other panel and on the button and Enter on the button, posted from the send's
// own thread while the service has the request: either taken by the window while the post still
// waits, or left for the very end of the send, the last thing before it reports.
TEST(FeedbackWindow, ClicksAndKeysDuringTheSendAreDropped) {
  struct Case {
    const char* name;
    bool takenWhileThePostWaits;
  };
  for (const Case& c : {Case{"taken while the post waits", true}, Case{"still queued as the send ends", false}}) {
    SCOPED_TRACE(c.name);
    ScriptedService service;
    service.answers = {"OK"};
    HWND disliked = nullptr, button = nullptr;
    QueueMark mark;
    bool markTaken = true;
    service.whilePosting = [&] {
      if (service.posts.size() > 1) return;
      Click(disliked);
      Click(button);
      PostMessageW(button, WM_KEYDOWN, VK_RETURN, 1);
      if (c.takenWhileThePostWaits) markTaken = mark.PostAndWait();
    };
    const Outcome after = RunFeedbackWindow(ArgsFor(service), {Do([&](const Form& form) {
                                                                 disliked = form.disliked;
                                                                 button = form.button;
                                                               }),
                                                               ClickOn(Target::kLikedPanel), SetMemo(L"x"),
                                                               ClickSend(), AnswerBox()});
    EXPECT_TRUE(markTaken) << "the window did not go on with its messages while the post waited";
    EXPECT_EQ(service.posts.size(), 1u);
    ASSERT_EQ(after.boxes.size(), 1u);
    EXPECT_EQ(after.boxes[0].text, kFailureText);
    EXPECT_TRUE(after.openAfterSteps);
    EXPECT_TRUE(after.likedChosen);
    EXPECT_FALSE(after.dislikedChosen);
  }
}

// A slow service does not freeze the window: while the post waits, the window answers messages
// from outside (it paints and can be moved), and it still takes no input.
TEST(FeedbackWindow, TheWindowGoesOnAnsweringWhileASlowServiceWaits) {
  ScriptedService service;
  service.answers = {"确定"};
  std::atomic<HWND> window{nullptr};
  std::atomic<int> answered{0}, unanswered{0};
  std::atomic<bool> posting{false};
  service.whilePosting = [&] {
    posting = true;
    Sleep(1500);  // the service takes its time; this is the send's own thread
    posting = false;
  };
  std::atomic<bool> stop{false};
  // Asks the window from another thread, as the system does when it repaints or moves it.
  std::thread prober([&] {
    while (!stop) {
      if (posting && window) {
        DWORD_PTR result = 0;
        // Not a measure of speed: a window that waits on the service would not answer at all.
        (SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result) ? answered : unanswered)++;
      }
      Sleep(20);
    }
  });
  const Outcome after = RunFeedbackWindow(ArgsFor(service), {Do([&](const Form& form) { window = form.window; }),
                                                             ClickOn(Target::kLikedPanel), SetMemo(L"慢"), ClickSend(),
                                                             AnswerBox()});
  stop = true;
  prober.join();
  EXPECT_GT(answered.load(), 0);
  EXPECT_EQ(unanswered.load(), 0);
  EXPECT_EQ(service.posts.size(), 1u);
  ASSERT_EQ(after.boxes.size(), 1u);
  EXPECT_EQ(after.boxes[0].caption, L"成功");
  EXPECT_FALSE(after.openAfterSteps);
}

TEST(FeedbackWindow, EscapeClosesFromTheMemoTheAddressAndTheButtonWithoutSending) {
  for (HWND Form::*control : {&Form::memo, &Form::edit, &Form::button}) {
    ScriptedService service;
    service.answers = {"确定"};
    const Outcome after = RunFeedbackWindow(
        ArgsFor(service), {ClickOn(Target::kLikedPanel), SetMemo(L"未发送"), PressIn(control, VK_ESCAPE)});
    EXPECT_FALSE(after.openAfterSteps);
    EXPECT_TRUE(after.boxes.empty());
    EXPECT_TRUE(service.posts.empty());
  }
}

TEST(FeedbackWindow, EnterInTheMemoStartsANewLine) {
  ScriptedService service;
  service.answers = {"确定"};
  const Outcome after = RunFeedbackWindow(ArgsFor(service), {SetMemo(L"第一行"), Do([](const Form& form) {
                                                               SendMessageW(form.memo, EM_SETSEL, 3, 3);
                                                             }),
                                                             PressIn(&Form::memo, VK_RETURN)});
  EXPECT_TRUE(after.openAfterSteps);
  EXPECT_EQ(after.memo, L"第一行\r\n");
  EXPECT_TRUE(service.posts.empty());
}

TEST(FeedbackWindow, TabAndShiftTabOnTheKeyboardCycleThroughMemoAddressAndButton) {
  ScriptedService service;
  std::vector<int> focus;
  const int memo = IDC_FEEDBACK_MEMO1, edit = IDC_FEEDBACK_EDIT1, button = IDC_FEEDBACK_BITBTN1;
  const Outcome after = RunFeedbackWindow(
      ArgsFor(service),
      {WaitFor([](const Form& form) { return GetForegroundWindow() == form.window && GetFocus() == form.memo; }),
       SetMemo(L"第一行"), SetEmail(L"me@example.com"),
       RealKey(VK_TAB, {}, focus), RealKey(VK_TAB, {}, focus), RealKey(VK_TAB, {}, focus),
       RealKey(VK_TAB, {VK_SHIFT}, focus), RealKey(VK_TAB, {VK_SHIFT}, focus), RealKey(VK_TAB, {VK_SHIFT}, focus),
       // Enter in the memo still starts a new line.
       Do([](const Form& form) { SendMessageW(form.memo, EM_SETSEL, 3, 3); }), RealKey(VK_RETURN, {}, focus)});
  EXPECT_EQ(focus, (std::vector<int>{edit, button, memo, button, edit, memo, memo}));
  EXPECT_TRUE(after.openAfterSteps);
  EXPECT_EQ(after.memo, L"第一行\r\n") << "no tab character went into the memo";
  EXPECT_EQ(after.email, L"me@example.com");
  EXPECT_TRUE(after.boxes.empty());
  EXPECT_TRUE(service.posts.empty());
}

TEST(FeedbackWindow, TheMemoTakesAtMost10000CharactersAndTheAddress100) {
  ScriptedService service;
  std::size_t memoLength = 0, emailLength = 0;
  WPARAM memoLimit = 0, emailLimit = 0;
  RunFeedbackWindow(ArgsFor(service), {Do([&](const Form& form) {
                      memoLimit = static_cast<WPARAM>(SendMessageW(form.memo, EM_GETLIMITTEXT, 0, 0));
                      emailLimit = static_cast<WPARAM>(SendMessageW(form.edit, EM_GETLIMITTEXT, 0, 0));
                      // Pasting more than fits keeps the first characters up to the limit.
                      std::string text;
                      for (int i = 0; i < 1500; ++i) text += "反馈文字123";  // 7 characters each
                      SetClipboardText(form.window, text);
                      SendMessageW(form.memo, WM_PASTE, 0, 0);
                      memoLength = TextOf(form.memo).size();
                      SetClipboardText(form.window, std::string(150, 'a') + "@example.com");
                      SendMessageW(form.edit, WM_PASTE, 0, 0);
                      emailLength = TextOf(form.edit).size();
                    })});
  EXPECT_EQ(memoLimit, 10000u);
  EXPECT_EQ(emailLimit, 100u);
  EXPECT_EQ(memoLength, 10000u);
  EXPECT_EQ(emailLength, 100u);
}

}  // namespace
}  // namespace quillet
