// The sprite maker's window: a thin FLTK front end over VintrelDlg. It lays out the dialog's
// controls (sized from the measured widths of their labels, so that no label is cut at the
// default size, which is also the smallest), forwards the user's actions to the model, runs
// the 250 ms timer while the model asks for it and shows the model's controls after every
// call. Names from files reach the widgets through LiteralLabel and LiteralListLine, so that
// the toolkit's format codes in them are drawn as written. Everything here runs on the FLTK
// thread; the build's worker touches no widget.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Multiline_Output.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/Fl_Output.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Display.H>
#include <FL/fl_draw.H>
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "VintrelDlg.h"
#include "VintrelIcon.h"
#include "VintrelText.h"

// Last: the host window system's header defines macros with common names.
#include <FL/x.H>

namespace {

constexpr double kTimerPeriod = 0.25;
constexpr Fl_Fontsize kFontSize = 13;
constexpr Fl_Fontsize kSmallestGoFont = 8;
constexpr int kMargin = 10;
constexpr int kGap = 6;
constexpr int kRow = 26;        // buttons, edit boxes
constexpr int kLabelRow = 18;   // labels above boxes
constexpr int kListHeight = 150;
constexpr int kReportHeight = 150;
constexpr const char* kOpenContentText = "Open PevContent...";
constexpr const char* kOpenGameDataText = "Open Game Data...";
constexpr const char* kShowAllText = "Show All";
constexpr const char* kRefreshText = "Refresh";

// The dialog's texts end lines with CR LF; the widgets want LF only.
std::string Lines(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (c != '\r') out += c;
  return out;
}

// Width of a text in the window's font.
int TextWidth(const char* text) {
  fl_font(FL_HELVETICA, kFontSize);
  return int(fl_width(text) + 0.5);
}

// The icon at the sizes that window managers and task bars ask for.
class Icons {
 public:
  Icons() {
    for (int size : {16, 32, 48}) {
      fPixels.push_back(VintrelIconPixels(size));
      fImages.push_back(std::make_unique<Fl_RGB_Image>(fPixels.back().data(), size, size, 4));
    }
  }
  const Fl_RGB_Image* Largest() const { return fImages.back().get(); }
  void SetOn(Fl_Window& window) const {
    std::vector<const Fl_RGB_Image*> images;
    for (const auto& image : fImages) images.push_back(image.get());
    window.icons(images.data(), int(images.size()));
  }

 private:
  std::vector<std::vector<uint8_t>> fPixels;  // the images point into these
  std::vector<std::unique_ptr<Fl_RGB_Image>> fImages;
};

// The about box: the icon, the program's name, version and build date, and OK.
void ShowAbout(Fl_Window& parent, const Icons& icons) {
  std::string text = LiteralLabel(AboutText(), false);
  int textW = 0, textH = 0;
  fl_font(FL_HELVETICA, kFontSize);
  fl_measure(text.c_str(), textW, textH, 0);
  const int icon = 48, okW = 80;
  int w = kMargin + icon + 2 * kGap + textW + 2 * kMargin;
  int h = kMargin + std::max(icon, textH) + kGap + kRow + kMargin;
  Fl_Window about(w, h, "About Vintrel");
  Fl_Box* picture = new Fl_Box(kMargin, kMargin, icon, icon);
  picture->image(const_cast<Fl_RGB_Image*>(icons.Largest()));
  Fl_Box* words = new Fl_Box(kMargin + icon + 2 * kGap, kMargin, textW + kMargin, std::max(icon, textH));
  words->copy_label(text.c_str());
  words->align(FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE);
  Fl_Return_Button* ok = new Fl_Return_Button(w - kMargin - okW, h - kMargin - kRow, okW, kRow, "OK");
  ok->callback([](Fl_Widget* button, void*) { button->window()->hide(); });
  about.end();
  about.set_modal();
  icons.SetOn(about);
  about.position(parent.x() + (parent.w() - w) / 2, parent.y() + (parent.h() - h) / 3);
  about.show();
  while (about.shown()) Fl::wait();
}

// The main window; it lays out its controls again when it is resized.
class MainWindow : public Fl_Double_Window {
 public:
  MainWindow(int w, int h, const char* title) : Fl_Double_Window(w, h, title) {}
  void resize(int x, int y, int w, int h) override {
    Fl_Double_Window::resize(x, y, w, h);
    if (fOnResize) fOnResize();
  }
  std::function<void()> fOnResize;
};

class VintrelWindow {
 public:
  VintrelWindow() : fWindow(100, 100, "Vintrel") {
    fRememberText = VintrelDlg::RememberCaption();
    Measure();
    fWindow.size(fWidth, fHeight);
    fWindow.begin();
    fMenu = new Fl_Menu_Bar(0, 0, fWidth, 25);
    fMenu->add("&File/&Quit", FL_COMMAND + 'q', OnQuit, this);
    fMenu->add("&Help/&About Vintrel...", 0, OnAbout, this);

    fSpritesLabel = RightLabel("Sprites");
    fSprites = new Fl_Output(0, 0, 1, 1);
    fObjectsLabel = RightLabel("Objects");
    fObjectsFolder = new Fl_Output(0, 0, 1, 1);
    fOpenContent = Button(kOpenContentText, OnOpenContent);
    fOpenGameData = Button(kOpenGameDataText, OnOpenGameData);
    fRemember = Button(fRememberText.c_str(), OnRemember);
    fShowAll = new Fl_Check_Button(0, 0, 1, 1, kShowAllText);
    fShowAll->callback(OnShowAll, this);
    fRefresh = Button(kRefreshText, OnRefresh);
    fFilesLabel = TopLabel("Files:");
    fObjectsListLabel = TopLabel("Objects:");
    fIdsLabel = TopLabel("IDs:");
    fFiles = new Fl_Hold_Browser(0, 0, 1, 1);
    fFiles->callback(OnFileSelected, this);
    fObjects = new Fl_Hold_Browser(0, 0, 1, 1);
    fObjects->callback(OnObjectSelected, this);
    fIds = new Fl_Multiline_Output(0, 0, 1, 1);
    fGo = Button("Go", OnGo);
    fStatusLabel = TopLabel("Status");
    fState = Sunken();
    fProgress1 = Sunken();
    fProgress2 = Sunken();
    fReportLabel = TopLabel("Report");
    fReport = new Fl_Text_Display(0, 0, 1, 1);
    fReport->buffer(&fReportText);
    fReport->wrap_mode(Fl_Text_Display::WRAP_AT_BOUNDS, 0);
    fReport->textsize(kFontSize);
    fWindow.end();
    fWindow.size_range(fWidth, fHeight);
    fWindow.callback(OnCloseBox, this);
    fWindow.xclass("vintrel");
    fIcons.SetOn(fWindow);
    Layout();
    fWindow.fOnResize = [this] { Layout(); };

    fDialog.OnInitDialog();
    fRemember->copy_tooltip(LiteralLabel(fDialog.RememberTip(), false).c_str());
    Show();
  }

  void Run(int argc, char** argv) {
    fWindow.show(argc, argv);
    Fl::run();
  }

 private:
  // The default (and smallest) size: the folder boxes and the lists keep room enough
  // beside the buttons, whose width is that of their longest label.
  void Measure() {
    fLabelWidth = std::max(TextWidth("Sprites"), TextWidth("Objects")) + kGap;
    fButtonWidth = 0;
    for (const char* text : {kOpenContentText, kOpenGameDataText, fRememberText.c_str()})
      fButtonWidth = std::max(fButtonWidth, TextWidth(text) + 24);
    fCheckWidth = TextWidth(kShowAllText) + 30;
    fRefreshWidth = TextWidth(kRefreshText) + 24;
    fStateWidth = std::max(TextWidth("Working..."), TextWidth("Working \\")) + 16;
    fWidth = std::max(480, 2 * kMargin + fLabelWidth + 260 + 2 * kGap + fButtonWidth);
    fHeight = 25 + kMargin + 3 * (kRow + kGap) + kLabelRow + kListHeight + kMargin + kRow + kGap + kLabelRow +
              2 * (kRow - 4) + kGap + kGap + kLabelRow + kReportHeight + kMargin;
  }

  // Places every control for the window's current size: the right-hand column keeps its
  // width, the folder boxes, the lists and the progress lines take the width that is left,
  // and the report box takes the height that is left.
  void Layout() {
    const int w = fWindow.w(), h = fWindow.h();
    const int right = w - kMargin - fButtonWidth;  // left edge of the button column
    fMenu->resize(0, 0, w, 25);
    int y = 25 + kMargin;
    fSpritesLabel->resize(kMargin, y, fLabelWidth, kRow);
    fSprites->resize(kMargin + fLabelWidth + kGap, y, right - kGap - (kMargin + fLabelWidth + kGap), kRow);
    fOpenContent->resize(right, y, fButtonWidth, kRow);
    y += kRow + kGap;
    fObjectsLabel->resize(kMargin, y, fLabelWidth, kRow);
    fObjectsFolder->resize(fSprites->x(), y, fSprites->w(), kRow);
    fOpenGameData->resize(right, y, fButtonWidth, kRow);
    y += kRow + kGap;
    fShowAll->resize(fSprites->x(), y, fCheckWidth, kRow);
    fRefresh->resize(fSprites->x() + fCheckWidth + kGap, y, fRefreshWidth, kRow);
    fRemember->resize(right, y, fButtonWidth, kRow);
    y += kRow + kGap;

    const int listsWidth = right - kGap - kMargin;  // Files and Objects share it
    const int filesWidth = (listsWidth - kGap) * 2 / 5;
    const int objectsX = kMargin + filesWidth + kGap;
    fFilesLabel->resize(kMargin, y, filesWidth, kLabelRow);
    fObjectsListLabel->resize(objectsX, y, right - kGap - objectsX, kLabelRow);
    fIdsLabel->resize(right, y, fButtonWidth, kLabelRow);
    y += kLabelRow;
    const int listHeight = kListHeight + (h - fHeight) / 2;  // half of the extra height
    fFiles->resize(kMargin, y, filesWidth, listHeight);
    fObjects->resize(objectsX, y, right - kGap - objectsX, listHeight);
    fIds->resize(right, y, fButtonWidth, listHeight);
    y += listHeight + kMargin;

    fGo->resize(kMargin, y, w - 2 * kMargin, kRow);
    y += kRow + kGap;
    fStatusLabel->resize(kMargin, y, w - 2 * kMargin, kLabelRow);
    y += kLabelRow;
    fState->resize(kMargin, y, fStateWidth, kRow - 4);
    fProgress1->resize(kMargin + fStateWidth + kGap, y, w - 2 * kMargin - fStateWidth - kGap, kRow - 4);
    y += kRow - 4 + kGap;
    fProgress2->resize(kMargin, y, w - 2 * kMargin, kRow - 4);
    y += kRow - 4 + kGap;
    fReportLabel->resize(kMargin, y, w - 2 * kMargin, kLabelRow);
    y += kLabelRow;
    fReport->resize(kMargin, y, w - 2 * kMargin, h - kMargin - y);
    FitGoLabel();
    fWindow.redraw();
  }

  Fl_Box* RightLabel(const char* text) {
    Fl_Box* box = new Fl_Box(0, 0, 1, 1, text);
    box->align(FL_ALIGN_RIGHT | FL_ALIGN_INSIDE);
    return box;
  }
  Fl_Box* TopLabel(const char* text) {
    Fl_Box* box = new Fl_Box(0, 0, 1, 1, text);
    box->align(FL_ALIGN_LEFT | FL_ALIGN_BOTTOM | FL_ALIGN_INSIDE);
    return box;
  }
  Fl_Button* Button(const char* text, Fl_Callback* callback) {
    Fl_Button* button = new Fl_Button(0, 0, 1, 1, text);
    button->callback(callback, this);
    return button;
  }
  static Fl_Box* Sunken() {
    Fl_Box* box = new Fl_Box(FL_DOWN_BOX, 0, 0, 1, 1, nullptr);
    box->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    return box;
  }
  static VintrelWindow* Self(void* data) { return static_cast<VintrelWindow*>(data); }

  static void SetList(Fl_Hold_Browser* browser, std::vector<std::string>& shown, const std::vector<std::string>& items,
                      int32_t selection) {
    if (shown != items) {
      browser->clear();
      for (const std::string& item : items) browser->add(LiteralListLine(item).c_str());
      shown = items;
    }
    browser->value(selection >= 0 && selection < int32_t(items.size()) ? selection + 1 : 0);
  }
  // Shows `text` as the widget's label, drawn as written.
  static void SetLabel(Fl_Widget* widget, const std::string& text, bool shortcuts) {
    std::string label = LiteralLabel(text, shortcuts);
    if (!widget->label() || label != widget->label()) widget->copy_label(label.c_str());
  }
  static void SetActive(Fl_Widget* widget, bool active) {
    if (active) widget->activate();
    else widget->deactivate();
  }

  // The Go caption in the largest font, down to kSmallestGoFont, in which the whole of it
  // fits the button; its tip holds it too.
  void FitGoLabel() {
    const char* label = fGo->label();
    if (!label || !*label) {
      fGo->labelsize(kFontSize);
      return;
    }
    Fl_Fontsize size = kFontSize;
    for (; size > kSmallestGoFont; --size) {
      int w = 0, h = 0;
      fl_font(fGo->labelfont(), size);
      fl_measure(label, w, h, 1);
      if (w + 12 <= fGo->w()) break;
    }
    fGo->labelsize(size);
  }

  // Shows the model's controls.
  void Show() {
    VintrelControls& c = fDialog.Controls();
    SetList(fFiles, fShownFiles, c.fFiles, c.fFileSelection);
    SetList(fObjects, fShownObjects, c.fObjects, c.fObjectSelection);
    SetActive(fFiles, c.fFilesEnabled);
    SetActive(fObjects, c.fObjectsEnabled);
    fSprites->value(c.fSpritesFolder.c_str());
    fObjectsFolder->value(c.fObjectsFolder.c_str());
    std::string report = Lines(c.fReport);
    if (report != fShownReport) {
      fReportText.text(report.c_str());
      fShownReport = report;
      // The caret at the end of the report scrolls the box there.
      fReport->insert_position(c.fReportCaret > 0 ? fReportText.length() : 0);
      fReport->show_insert_position();
    }
    SetLabel(fGo, c.fGoCaption, true);
    // Tips are drawn with the symbols of labels too.
    fGo->copy_tooltip(c.fGoCaption.empty() ? nullptr : LiteralLabel(c.fGoCaption, false).c_str());
    FitGoLabel();
    SetActive(fGo, c.fGoEnabled);
    SetLabel(fState, c.fState, false);
    SetLabel(fProgress1, c.fProgress1, false);
    SetLabel(fProgress2, c.fProgress2, false);
    fShowAll->value(c.fShowAll ? 1 : 0);
    fIds->value(Lines(c.fIds).c_str());
    fWindow.redraw();
  }

  void StartTimerIfWanted() {
    if (fDialog.TimerOn() && !fTimerScheduled) {
      fTimerScheduled = true;
      Fl::add_timeout(kTimerPeriod, OnTimer, this);
    }
  }

  static void OnTimer(void* data) {
    VintrelWindow* self = Self(data);
    self->fDialog.OnTimer();
    self->Show();
    if (self->fDialog.TimerOn()) {
      Fl::repeat_timeout(kTimerPeriod, OnTimer, data);
    } else {
      self->fTimerScheduled = false;
    }
  }

  static void OnFileSelected(Fl_Widget*, void* data) {
    VintrelWindow* self = Self(data);
    self->fDialog.Controls().fFileSelection = self->fFiles->value() - 1;
    self->fDialog.OnFileSelected();
    self->Show();
  }
  static void OnObjectSelected(Fl_Widget*, void* data) {
    VintrelWindow* self = Self(data);
    self->fDialog.Controls().fObjectSelection = self->fObjects->value() - 1;
    self->fDialog.OnObjectSelected();
    self->Show();
  }
  static void OnGo(Fl_Widget*, void* data) {
    VintrelWindow* self = Self(data);
    self->fDialog.OnGo();
    self->Show();
    self->StartTimerIfWanted();
  }
  static void OnShowAll(Fl_Widget*, void* data) {
    VintrelWindow* self = Self(data);
    self->fDialog.Controls().fShowAll = self->fShowAll->value() != 0;
    self->fDialog.OnRescan();
    self->Show();
  }
  static void OnRefresh(Fl_Widget*, void* data) {
    VintrelWindow* self = Self(data);
    self->fDialog.OnRescan();
    self->Show();
  }
  static void OnRemember(Fl_Widget*, void* data) {
    VintrelWindow* self = Self(data);
    self->fDialog.OnRemember();
    self->Show();
  }
  static void OnAbout(Fl_Widget*, void* data) {
    VintrelWindow* self = Self(data);
    ShowAbout(self->fWindow, self->fIcons);
  }
  static void OnQuit(Fl_Widget*, void* data) { OnCloseBox(nullptr, data); }

  // A folder picker that starts in `start`; the placeholder file's filter stays offered
  // beside all files, and a placeholder file picked in a chooser that shows files names its
  // folder.
  static bool PickFolder(const char* title, const char* filter, const std::string& start, std::string& picked) {
    Fl_Native_File_Chooser chooser(Fl_Native_File_Chooser::BROWSE_DIRECTORY);
    chooser.title(title);
    chooser.filter(filter);
    if (!start.empty()) chooser.directory(start.c_str());
    if (chooser.show() != 0 || chooser.filename() == nullptr || !*chooser.filename()) return false;
    picked = chooser.filename();
    return true;
  }
  static void OnOpenContent(Fl_Widget*, void* data) {
    VintrelWindow* self = Self(data);
    std::string folder;
    if (!PickFolder("Open PevContent Directory", "Content placeholder\t*.scnt\nAll files\t*",
                    self->fDialog.ContentFolder().c_str(), folder))
      return;
    self->fDialog.OnContentPicked(FixedStringBuffer<260>(folder.c_str()));
    self->Show();
  }
  static void OnOpenGameData(Fl_Widget*, void* data) {
    VintrelWindow* self = Self(data);
    std::string folder;
    if (!PickFolder("Open Game Data Directory", "Pev file\t*.pev\nAll files\t*",
                    self->fDialog.GameDataFolder().c_str(), folder))
      return;
    self->fDialog.OnGameDataPicked(FixedStringBuffer<260>(folder.c_str()));
    self->Show();
  }
  // The close box, Escape and Quit end the program, except while a run is in progress: then
  // the Report box says why the window stays.
  static void OnCloseBox(Fl_Widget*, void* data) {
    VintrelWindow* self = Self(data);
    if (self->fDialog.OnClose()) {
      self->fWindow.hide();
    } else {
      self->Show();
    }
  }

  VintrelDlg fDialog;
  Icons fIcons;
  Fl_Text_Buffer fReportText;  // outlives the window's report display
  MainWindow fWindow;
  std::string fRememberText;
  int fLabelWidth = 0, fButtonWidth = 0, fCheckWidth = 0, fRefreshWidth = 0, fStateWidth = 0;
  int fWidth = 0, fHeight = 0;
  Fl_Menu_Bar* fMenu = nullptr;
  Fl_Box* fSpritesLabel = nullptr;
  Fl_Output* fSprites = nullptr;
  Fl_Box* fObjectsLabel = nullptr;
  Fl_Output* fObjectsFolder = nullptr;
  Fl_Button* fOpenContent = nullptr;
  Fl_Button* fOpenGameData = nullptr;
  Fl_Button* fRemember = nullptr;
  Fl_Check_Button* fShowAll = nullptr;
  Fl_Button* fRefresh = nullptr;
  Fl_Box* fFilesLabel = nullptr;
  Fl_Box* fObjectsListLabel = nullptr;
  Fl_Box* fIdsLabel = nullptr;
  Fl_Hold_Browser* fFiles = nullptr;
  Fl_Hold_Browser* fObjects = nullptr;
  Fl_Multiline_Output* fIds = nullptr;
  Fl_Button* fGo = nullptr;
  Fl_Box* fStatusLabel = nullptr;
  Fl_Box* fState = nullptr;
  Fl_Box* fProgress1 = nullptr;
  Fl_Box* fProgress2 = nullptr;
  Fl_Box* fReportLabel = nullptr;
  Fl_Text_Display* fReport = nullptr;
  std::vector<std::string> fShownFiles;
  std::vector<std::string> fShownObjects;
  std::string fShownReport;
  bool fTimerScheduled = false;
};

}  // namespace

int main(int argc, char** argv) {
  FL_NORMAL_SIZE = kFontSize;
  fl_open_display();  // the layout measures its labels
  VintrelWindow window;
  window.Run(argc, argv);
  return 0;
}
