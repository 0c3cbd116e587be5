// The sprite maker's window: a thin FLTK front end over VintrelDlg. It lays out the dialog's
// controls (positions in dialog units, scaled to pixels), forwards the user's actions to the
// model, runs the 250 ms timer while the model asks for it and shows the model's controls
// after every call. Everything here runs on the FLTK thread; the build's worker touches no
// widget.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Multiline_Output.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/Fl_Output.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Display.H>

#include <string>
#include <vector>

#include "VintrelDlg.h"

namespace {

// Dialog units of an 8-point dialog font: 4 horizontal units = 6 pixels, 8 vertical = 13.
int X(int units) { return units * 3 / 2; }
int Y(int units) { return units * 13 / 8; }

constexpr double kTimerPeriod = 0.25;

// The dialog's texts end lines with CR LF; the widgets want LF only.
std::string Lines(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (c != '\r') out += c;
  return out;
}

class VintrelWindow {
 public:
  VintrelWindow() : fWindow(X(299), Y(332), "Vintrel") {
    fWindow.begin();
    Label(18, 16, 22, 8, "Sprites", true);
    fSprites = new Fl_Output(X(42), Y(14), X(168), Y(14));
    Label(15, 32, 25, 8, "Objects", true);
    fObjectsFolder = new Fl_Output(X(42), Y(30), X(168), Y(14));
    fOpenContent = Button(216, 14, 76, 14, "Open PevContent...", OnOpenContent);
    fOpenGameData = Button(216, 30, 76, 14, "Open Game Data...", OnOpenGameData);
    fRemember = Button(216, 46, 76, 14, "Remember in C:", OnRemember);
    fShowAll = new Fl_Check_Button(X(15), Y(52), X(48), Y(10), "Show All");
    fShowAll->callback(OnShowAll, this);
    fRefresh = Button(68, 50, 50, 14, "Refresh", OnRefresh);
    Label(7, 69, 17, 8, "Files:");
    Label(95, 69, 27, 8, "Objects:");
    Label(217, 69, 14, 8, "IDs:");
    fFiles = new Fl_Hold_Browser(X(7), Y(79), X(85), Y(81));
    fFiles->callback(OnFileSelected, this);
    fObjects = new Fl_Hold_Browser(X(95), Y(79), X(118), Y(81));
    fObjects->callback(OnObjectSelected, this);
    fIds = new Fl_Multiline_Output(X(216), Y(79), X(76), Y(81));
    fGo = Button(7, 168, 285, 14, "Go", OnGo);
    Label(7, 188, 21, 8, "Status");
    fState = Sunken(7, 199, 51, 12);
    fProgress1 = Sunken(63, 199, 229, 12);
    fProgress2 = Sunken(7, 215, 285, 12);
    Label(7, 236, 22, 8, "Report");
    fReport = new Fl_Text_Display(X(7), Y(246), X(285), Y(79));
    fReport->buffer(&fReportText);
    fWindow.end();
    fWindow.resizable(fReport);
    fWindow.callback(OnCloseBox, this);

    fDialog.OnInitDialog();
    Show();
  }

  void Run(int argc, char** argv) {
    fWindow.show(argc, argv);
    Fl::run();
  }

 private:
  // A label; one that stands before an edit box ends at the box (`beforeBox`).
  static void Label(int x, int y, int w, int h, const char* text, bool beforeBox = false) {
    Fl_Box* box = beforeBox ? new Fl_Box(X(x) - 16, Y(y), X(w) + 14, Y(h), text) : new Fl_Box(X(x), Y(y), X(w) + 16, Y(h), text);
    box->align((beforeBox ? FL_ALIGN_RIGHT : FL_ALIGN_LEFT) | FL_ALIGN_INSIDE);
    box->labelsize(12);
  }
  Fl_Button* Button(int x, int y, int w, int h, const char* text, Fl_Callback* callback) {
    Fl_Button* button = new Fl_Button(X(x), Y(y), X(w), Y(h), text);
    button->labelsize(12);
    button->callback(callback, this);
    return button;
  }
  static Fl_Box* Sunken(int x, int y, int w, int h) {
    Fl_Box* box = new Fl_Box(FL_DOWN_BOX, X(x), Y(y), X(w), Y(h), nullptr);
    box->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    box->labelsize(12);
    return box;
  }
  static VintrelWindow* Self(void* data) { return static_cast<VintrelWindow*>(data); }

  static void SetList(Fl_Hold_Browser* browser, std::vector<std::string>& shown, const std::vector<std::string>& items,
                      int32_t selection) {
    if (shown != items) {
      browser->clear();
      for (const std::string& item : items) browser->add(item.c_str());
      shown = items;
    }
    browser->value(selection >= 0 && selection < int32_t(items.size()) ? selection + 1 : 0);
  }
  static void SetLabel(Fl_Widget* widget, const std::string& text) {
    if (!widget->label() || text != widget->label()) widget->copy_label(text.c_str());
  }
  static void SetActive(Fl_Widget* widget, bool active) {
    if (active) widget->activate();
    else widget->deactivate();
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
    SetLabel(fGo, c.fGoCaption);
    SetActive(fGo, c.fGoEnabled);
    SetLabel(fState, c.fState);
    SetLabel(fProgress1, c.fProgress1);
    SetLabel(fProgress2, c.fProgress2);
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
  // The pickers name a file only for its folder.
  static bool PickFile(const char* title, const char* filter, std::string& picked) {
    Fl_Native_File_Chooser chooser(Fl_Native_File_Chooser::BROWSE_FILE);
    chooser.title(title);
    chooser.filter(filter);
    if (chooser.show() != 0 || chooser.filename() == nullptr) return false;
    picked = chooser.filename();
    return true;
  }
  static void OnOpenContent(Fl_Widget*, void* data) {
    VintrelWindow* self = Self(data);
    std::string file;
    if (!PickFile("Open PevContent", "Content placeholder (*.scnt)\t*.scnt", file)) return;
    self->fDialog.OnContentFilePicked(FixedStringBuffer<260>(file.c_str()));
    self->Show();
  }
  static void OnOpenGameData(Fl_Widget*, void* data) {
    VintrelWindow* self = Self(data);
    std::string file;
    if (!PickFile("Open Game Data", "Pev file (*.pev)\t*.pev", file)) return;
    self->fDialog.OnGameDataFilePicked(FixedStringBuffer<260>(file.c_str()));
    self->Show();
  }
  // The close box (and Escape) end the program, except while a run is in progress.
  static void OnCloseBox(Fl_Widget*, void* data) {
    VintrelWindow* self = Self(data);
    if (self->fDialog.OnClose()) self->fWindow.hide();
  }

  VintrelDlg fDialog;
  Fl_Text_Buffer fReportText;  // outlives the window's report display
  Fl_Double_Window fWindow;
  Fl_Output* fSprites = nullptr;
  Fl_Output* fObjectsFolder = nullptr;
  Fl_Button* fOpenContent = nullptr;
  Fl_Button* fOpenGameData = nullptr;
  Fl_Button* fRemember = nullptr;
  Fl_Check_Button* fShowAll = nullptr;
  Fl_Button* fRefresh = nullptr;
  Fl_Hold_Browser* fFiles = nullptr;
  Fl_Hold_Browser* fObjects = nullptr;
  Fl_Multiline_Output* fIds = nullptr;
  Fl_Button* fGo = nullptr;
  Fl_Box* fState = nullptr;
  Fl_Box* fProgress1 = nullptr;
  Fl_Box* fProgress2 = nullptr;
  Fl_Text_Display* fReport = nullptr;
  std::vector<std::string> fShownFiles;
  std::vector<std::string> fShownObjects;
  std::string fShownReport;
  bool fTimerScheduled = false;
};

}  // namespace

int main(int argc, char** argv) {
  VintrelWindow window;
  window.Run(argc, argv);
  return 0;
}
