// The encoder's pages in the page shell control and in the property frame.
#include <gtest/gtest.h>

#include <QFormLayout>

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <filesystem>
#include <thread>

#include "caption_fit.h"
#include "com/com.h"
#include "com/dispatch.h"
#include "core/error.h"
#include "fixtures.h"
#include "forms/app.h"
#include "forms/form.h"
#include "forms/propertyframe.h"
#include "forms/qt/control_qt.h"
#include "forms/qt/propertyframe_qt.h"
#include "frmWMEnc.h"
#include "scripted_responder.h"
#include "wmenc/wmenc.h"

namespace {

ComPtr<IUnknown> Page(REFCLSID clsid) {
  ComPtr<IUnknown> p;
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, p.put_void()), S_OK);
  return p;
}

class ShellForm : public Form {
 public:
  ShellForm() : Form("frmShell") {}

 protected:
  void Design() override {
    Size(9000, 6000);
    Place({{"MSPROPSHELLLibCtl.MSPropShell", "shell", -1, "", 0, 0, 8800, 5600, ""}});
  }
};

struct Shelled {
  FormPtr<ShellForm> form = MakeForm<ShellForm>();
  ComPtr<IWMEncoder> enc;
  Shelled() {
    CoCreateInstance(CLSID_WMEncoder, nullptr, CLSCTX_INPROC_SERVER, IWMEncoder::iid, enc.put_void());
    form->Load();
    InvokeDispatch(Shell(), 4, DISPATCH_METHOD, {Variant(static_cast<IDispatch*>(enc.Get()))});
  }
  IDispatch* Shell() { return form->FindControl("shell")->DispatchObject(); }
  QTabWidget* Tabs() { return qobject_cast<QTabWidget*>(forms_detail::WidgetOf(*form->FindControl("shell"))); }
  void Add(REFCLSID clsid) {
    ComPtr<IUnknown> p = Page(clsid);
    InvokeDispatch(Shell(), 1, DISPATCH_METHOD, {Variant(p.Get())});
  }
  template <class W>
  W* Field(const char* page, const char* name) {
    QWidget* panel = Tabs()->findChild<QWidget*>(page);
    return panel ? panel->findChild<W*>(name) : nullptr;
  }
  int32_t State() {
    int32_t s = 0;
    enc->get_RunState(&s);
    return s;
  }
};

const CLSID kFive[] = {CLSID_WMEncSourcesPage, CLSID_WMEncOutputPage, CLSID_WMEncCompressionPage,
                       CLSID_WMEncAttributesPage, CLSID_WMEncSummaryPage};

TEST(PageShell, FivePagesConfigureAnEncodingThatRuns) {
  fixtures::Options o;
  const std::string source = fixtures::Make(fixtures::Kind::AviMjpegPcm, fixtures::ScratchFolder("shell"), o);
  const std::string target = fixtures::ScratchFolder("shell") + "/out é.wmv";
  Shelled s;
  for (const CLSID& c : kFive) s.Add(c);
  ASSERT_EQ(s.Tabs()->count(), 5);
  EXPECT_EQ(s.Tabs()->tabText(0), "Sources");
  EXPECT_EQ(s.Tabs()->tabText(4), "Summary");
  // A page of a class already shown replaces it.
  s.Add(CLSID_WMEncSourcesPage);
  EXPECT_EQ(s.Tabs()->count(), 5);
  EXPECT_EQ(s.Tabs()->tabText(0), "Sources");

  // Nothing chosen: the first page says why and the apply fails with it.
  try {
    InvokeDispatch(s.Shell(), 6, DISPATCH_METHOD);
    ADD_FAILURE() << "applied without a source";
  } catch (const VBError& e) {
    EXPECT_EQ(e.Description(), "Choose the source file.");
  }
  EXPECT_EQ(s.Field<QLabel>("Sources", "problem")->text(), "Choose the source file.");

  // The source through Browse, the output typed, a profile and a title.
  {
    ScriptScope script;
    script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(source));
    s.Field<QPushButton>("Sources", "browse")->click();
  }
  s.Field<QLineEdit>("Output", "file")->setText(QString::fromStdString(target));
  auto* profiles = s.Tabs()->findChild<QWidget*>("Compression")->findChild<QObject*>("profile");
  ASSERT_TRUE(profiles);
  profiles->setProperty("currentIndex", 1);
  s.Field<QLineEdit>("Attributes", "title")->setText("Shell title");
  InvokeDispatch(s.Shell(), 6, DISPATCH_METHOD);
  // What Start will do.
  EXPECT_TRUE(s.Field<QLabel>("Summary", "summary")->text().contains("Wz Movie Tools 320X240"))
      << s.Field<QLabel>("Summary", "summary")->text().toStdString();
  EXPECT_EQ(s.Field<QLabel>("Sources", "found")->text(), "1 video, 1 audio");

  // The statistics page of a second shell follows the run.
  Shelled stats;
  InvokeDispatch(stats.Shell(), 4, DISPATCH_METHOD, {Variant(static_cast<IDispatch*>(s.enc.Get()))});
  stats.Add(CLSID_WMEncStatisticsPage);
  ASSERT_EQ(s.enc->Start(), S_OK);
  for (long i = 0; i < 20000000 && s.State() != WMENC_ENCODER_STOPPED; ++i) DoEvents();
  ASSERT_EQ(s.State(), WMENC_ENCODER_STOPPED);
  QLabel* state = stats.Field<QLabel>("Statistics", "state");
  ASSERT_TRUE(state);
  // The page refreshes on its own timer.
  for (int i = 0; i < 10000 && (state->text() != "Stopped" || stats.Field<QLabel>("Statistics", "bytes")->text() == "0"); ++i) {
    DoEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(state->text(), "Stopped");
  EXPECT_NE(stats.Field<QLabel>("Statistics", "bytes")->text(), "0");
  EXPECT_EQ(stats.Field<QProgressBar>("Statistics", "progress")->value(), 1000);
  EXPECT_EQ(stats.Field<QLabel>("Statistics", "error")->text(), "None");
  fixtures::Probe p = fixtures::RunFfprobe(target);
  ASSERT_TRUE(p.ok) << p.error;
  ASSERT_TRUE(p.First("video"));
  EXPECT_EQ(p.First("video")->width, 320);
}

// An output naming the source, also through a link to it or to its folder, is refused by the
// Output page itself: the apply fails with the page's reason, shown on the page, and the encoder
// keeps no output name. Another name applies.
struct OutputCase {
  const char* what;
  std::string (*output)(const std::string& folder, const std::string& source);
};

class OutputNamingTheSource : public ::testing::TestWithParam<OutputCase> {};

TEST_P(OutputNamingTheSource, FailsApplyOnTheOutputPage) {
  const std::string folder = fixtures::ScratchFolder(std::string("outsrc_") + GetParam().what);
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string source = fixtures::Make(fixtures::Kind::AviMjpegPcm, folder);
  const std::string output = GetParam().output(folder, source);
  Shelled s;
  for (const CLSID& c : kFive) s.Add(c);
  {
    ScriptScope script;
    script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(source));
    s.Field<QPushButton>("Sources", "browse")->click();
  }
  s.Tabs()->findChild<QWidget*>("Compression")->findChild<QObject*>("profile")->setProperty("currentIndex", 1);
  s.Field<QLineEdit>("Output", "file")->setText(QString::fromStdString(output));
  const std::string why = "The output file \"" + output + "\" is the source file. Choose another name.";
  try {
    InvokeDispatch(s.Shell(), 6, DISPATCH_METHOD);
    ADD_FAILURE() << "applied an output naming the source";
  } catch (const VBError& e) {
    EXPECT_EQ(e.Description(), why);
  }
  EXPECT_EQ(s.Field<QLabel>("Output", "problem")->text().toStdString(), why);
  ComPtr<IWMEncFile> file;
  Bstr name;
  ASSERT_EQ(s.enc->get_File(file.put()), S_OK);
  file->get_LocalFileName(&name);
  EXPECT_EQ(name.Utf8(), "") << "the refused name is not kept";

  // Another name applies and clears the reason.
  const std::string other = folder + "/other.wmv";
  s.Field<QLineEdit>("Output", "file")->setText(QString::fromStdString(other));
  InvokeDispatch(s.Shell(), 6, DISPATCH_METHOD);
  EXPECT_EQ(s.Field<QLabel>("Output", "problem")->text(), "");
  file->get_LocalFileName(&name);
  EXPECT_EQ(name.Utf8(), other);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, OutputNamingTheSource,
    ::testing::Values(
        OutputCase{"same", [](const std::string&, const std::string& source) { return source; }},
        OutputCase{"dotted", [](const std::string& folder, const std::string& source) {
                     return folder + "/./" + std::filesystem::path(source).filename().string();
                   }},
        OutputCase{"filelink", [](const std::string& folder, const std::string& source) {
                     const std::string link = folder + "/link.avi";
                     std::filesystem::create_symlink(source, link);
                     return link;
                   }},
        OutputCase{"folderlink", [](const std::string& folder, const std::string& source) {
                     const std::string link = folder + "/linked";
                     std::filesystem::create_directory_symlink(folder, link);
                     return link + "/" + std::filesystem::path(source).filename().string();
                   }},
        OutputCase{"hardlink", [](const std::string& folder, const std::string& source) {
                     const std::string link = folder + "/hard.avi";
                     std::filesystem::create_hard_link(source, link);
                     return link;
                   }}),
    [](const ::testing::TestParamInfo<OutputCase>& info) { return std::string(info.param.what); });

// An output that names the source: typed on the Output page (which refuses it, so the encoder
// keeps its earlier name), named by a program, or the output chosen afterwards as the source.
// The Summary page says why the configuration cannot run, in the Output page's words, and
// promises no encoding. A new name brings the plan back.
TEST(PageShell, TheSummarySaysWhenTheOutputNamesTheSource) {
  enum class How { Typed, ByAProgram, SourceChosenLater };
  struct Road {
    const char* what;
    How how;
  };
  const Road roads[] = {{"typed", How::Typed}, {"program", How::ByAProgram}, {"later", How::SourceChosenLater}};
  for (const Road& road : roads) {
    SCOPED_TRACE(road.what);
    const std::string folder = fixtures::ScratchFolder(std::string("summary_") + road.what);
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string first = fixtures::Make(fixtures::Kind::AviMjpegPcm, folder);
    const std::string second = fixtures::Make(fixtures::Kind::AviRgb, folder);
    Shelled s;
    for (const CLSID& c : kFive) s.Add(c);
    auto choose = [&](const std::string& source) {
      ScriptScope script;
      script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(source));
      s.Field<QPushButton>("Sources", "browse")->click();
    };
    choose(first);
    s.Tabs()->findChild<QWidget*>("Compression")->findChild<QObject*>("profile")->setProperty("currentIndex", 1);
    s.Field<QLineEdit>("Output", "file")->setText(QString::fromStdString(second));
    InvokeDispatch(s.Shell(), 6, DISPATCH_METHOD);
    QLabel* summary = s.Field<QLabel>("Summary", "summary");
    ASSERT_TRUE(summary);
    EXPECT_TRUE(summary->text().startsWith("Start will encode")) << summary->text().toStdString();

    std::string output = first;
    if (road.how == How::Typed) {
      s.Field<QLineEdit>("Output", "file")->setText(QString::fromStdString(first));
      EXPECT_THROW(InvokeDispatch(s.Shell(), 6, DISPATCH_METHOD), VBError);
    } else if (road.how == How::ByAProgram) {
      ComPtr<IWMEncFile> file;
      ASSERT_EQ(s.enc->get_File(file.put()), S_OK);
      ASSERT_EQ(file->put_LocalFileName(Bstr::FromUtf8(output)), S_OK);
    } else {
      // The output applied before is chosen as the source: the Output page refuses it now.
      output = second;
      choose(second);
      EXPECT_THROW(InvokeDispatch(s.Shell(), 6, DISPATCH_METHOD), VBError);
    }
    const QString why =
        QString::fromStdString("The output file \"" + output + "\" is the source file. Choose another name.");
    // The page follows the encoder on its own timer.
    for (int i = 0; i < 20000 && summary->text() != why; ++i) {
      DoEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(summary->text(), why);
    if (road.how != How::Typed) {
      EXPECT_TRUE(FAILED(s.enc->Start())) << "Start refuses it as the page says";
      EXPECT_EQ(s.State(), WMENC_ENCODER_STOPPED);
    }

    // Another output name: the plan returns.
    s.Field<QLineEdit>("Output", "file")->setText(QString::fromStdString(folder + "/other.wmv"));
    InvokeDispatch(s.Shell(), 6, DISPATCH_METHOD);
    EXPECT_TRUE(summary->text().startsWith("Start will encode")) << summary->text().toStdString();
  }
}

// The frame: Apply applies and keeps it open, Cancel afterwards keeps what Apply did; Cancel
// alone applies nothing.
// In a shell as tall as the encoder program gives its statistics (2520 twips), every row of the
// page has the height its text needs and no row is drawn over the next.
TEST(PageShell, TheStatisticsRowsFitTheProgramsShell) {
  Shelled s;
  s.form->FindControl("shell")->Move(0, 0, 9240, 2520);
  s.Add(CLSID_WMEncStatisticsPage);
  s.form->Show();
  DoEvents();
  QWidget* panel = s.Tabs()->findChild<QWidget*>("Statistics");
  ASSERT_TRUE(panel);
  auto* form = panel->findChild<QFormLayout*>();
  ASSERT_TRUE(form);
  int previousBottom = -1;
  for (int row = 0; row < form->rowCount(); ++row) {
    for (auto role : {QFormLayout::LabelRole, QFormLayout::FieldRole}) {
      QLayoutItem* item = form->itemAt(row, role);
      QWidget* w = item ? item->widget() : nullptr;
      if (!w) continue;
      SCOPED_TRACE("row " + std::to_string(row));
      EXPECT_GE(w->height(), w->minimumSizeHint().height());
      EXPECT_GT(w->y(), previousBottom) << "drawn over the row above";
      EXPECT_LE(w->mapTo(s.Tabs(), QPoint(0, w->height())).y(), s.Tabs()->height()) << "cut by the shell";
    }
    QLayoutItem* field = form->itemAt(row, QFormLayout::FieldRole);
    if (field && field->widget()) previousBottom = field->widget()->geometry().bottom();
  }
  s.form->Unload();
}

TEST(PropertyFrame, ApplyOkAndCancel) {
  ComPtr<IWMEncoder> enc;
  CoCreateInstance(CLSID_WMEncoder, nullptr, CLSCTX_INPROC_SERVER, IWMEncoder::iid, enc.put_void());
  IUnknown* objects[] = {enc.Get()};
  ComPtr<IWMEncDisplayInfo> info;
  enc->get_DisplayInfo(info.put());
  auto title = [&] {
    Bstr t;
    info->get_Field(0, &t);
    return t.Utf8();
  };
  struct Case {
    const char* typed;
    std::vector<const char*> presses;
    bool result;
    std::string expected;
  };
  const Case cases[] = {{"Applied", {"apply", "cancel"}, false, "Applied"},
                        {"Cancelled", {"cancel"}, false, "Applied"},
                        {"Confirmed", {"ok"}, true, "Confirmed"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    std::vector<std::string> tabs;
    SetPropertyFramePresenter([&](QDialog& frame, OAHWND) {
      auto* t = frame.findChild<QTabWidget*>("pages");
      for (int i = 0; t && i < t->count(); ++i) tabs.push_back(t->tabText(i).toStdString());
      auto* edit = frame.findChild<QLineEdit*>("title");
      EXPECT_TRUE(edit);
      if (edit) {
        edit->setText(c.typed);
        emit edit->textEdited(c.typed);
      }
      for (const char* b : c.presses) frame.findChild<QPushButton*>(b)->click();
      return frame.result() == QDialog::Accepted;
    });
    EXPECT_EQ(OleCreatePropertyFrame(0, 0, 0, u"Encoder", 1, objects, 1, &CLSID_WMEncAttributesPage, 0, 0, nullptr), S_OK);
    SetPropertyFramePresenter({});
    EXPECT_EQ(tabs, std::vector<std::string>{"Attributes"});
    EXPECT_EQ(title(), c.expected);
  }
}

}  // namespace

// The encoder program's window as it shows, each page as its tab shows it (the pages lay their
// fields out when they show): no caption needs more room than its control has.
TEST(EncoderProgram, TheWindowsCaptionsFitTheirControls) {
  ScriptScope script;
  auto form = MakeForm<frmWMEnc>();
  form->Show();
  ASSERT_TRUE(form->IsLoaded());
  EXPECT_EQ(fit::CutCaptions(*form), std::vector<std::string>{});
  for (const char* shell : {"PropPageShell", "PageShell"}) {
    auto* pages = qobject_cast<QTabWidget*>(forms_detail::WidgetOf(*form->FindControl(shell)));
    ASSERT_TRUE(pages) << shell;
    for (int i = 0; i < pages->count(); ++i) {
      pages->setCurrentIndex(i);
      DoEvents();
      EXPECT_EQ(fit::CutCaptions(*form), std::vector<std::string>{}) << shell << " " << pages->tabText(i).toStdString();
    }
  }
  form->Unload();
}
