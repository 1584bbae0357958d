// The Qt message boxes and busy pointer, ShowHelp through the desktop's URL hand-off, and the
// help document that the build writes into the demo data folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <string>
#include <vector>

#include "dialogs/qt_user_interface.h"

namespace quillmap {
namespace {

// Stands in for the desktop's viewer: records what it is asked to open.
class UrlRecorder : public QObject {
  Q_OBJECT

 public:
  Q_INVOKABLE void Open(const QUrl& url) { opened.push_back(url.toLocalFile()); }
  std::vector<QString> opened;
};

class QtUserInterfaceTest : public ::testing::Test {
 protected:
  void SetUp() override { QDesktopServices::setUrlHandler("file", &viewer_, "Open"); }
  void TearDown() override { QDesktopServices::unsetUrlHandler("file"); }

  // Runs `show` while noting the text, title, icon and buttons of each message box, which it
  // answers with `button`.
  std::vector<QString> Messages(const std::function<void()>& show,
                                QMessageBox::StandardButton button = QMessageBox::Ok) {
    std::vector<QString> seen;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&seen, button] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        seen.push_back(QString("%1|%2|%3|%4")
                           .arg(box->text(), box->windowTitle())
                           .arg(box->icon())
                           .arg(int(box->standardButtons())));
        box->button(button)->click();
      }
    });
    closer.start(10);
    show();
    return seen;
  }

  QTemporaryDir folder_;
  UrlRecorder viewer_;
  Global global_;
  QtUserInterface ui_{global_};
};

TEST_F(QtUserInterfaceTest, MessageBoxesCarryTheTitleTextButtonsAndAnswer) {
  MessageAnswer answer = MessageAnswer::kYes;
  EXPECT_EQ(Messages([&] { answer = ui_.ShowMessage("One.\r\nTwo?", MessageButtons::kYesNo); },
                     QMessageBox::No),
            std::vector<QString>{QString("One.\nTwo?|Quillmap|%1|%2")
                                     .arg(QMessageBox::NoIcon)
                                     .arg(QMessageBox::Yes | QMessageBox::No)});
  EXPECT_EQ(answer, MessageAnswer::kNo);

  ui_.SetBusy(true);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  ui_.SetBusy(false);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(QtUserInterfaceTest, ShowHelpReportsAMissingDocumentOrHandsItToTheViewer) {
  // Blanks and '#' in the folder must survive the trip through a URL.
  const QString data = folder_.path() + "/Scan data #1/";
  const QString document = data + "Help/Quillmap.pdf";
  global_.DataFolderPath = data.toStdString();
  const QString missing = QString("Unable to locate %1|Quillmap|%2|%3")
                              .arg(document)
                              .arg(QMessageBox::NoIcon)
                              .arg(QMessageBox::Ok);
  EXPECT_EQ(Messages([&] { ui_.ShowHelp(); }), std::vector<QString>{missing});
  // A folder in the document's place is no document.
  ASSERT_TRUE(QDir().mkpath(document));
  EXPECT_EQ(Messages([&] { ui_.ShowHelp(); }), std::vector<QString>{missing});
  EXPECT_TRUE(viewer_.opened.empty());
  ASSERT_TRUE(QDir().rmdir(document) && QFile(document).open(QIODevice::WriteOnly));
  EXPECT_TRUE(Messages([&] { ui_.ShowHelp(); }).empty());
  EXPECT_EQ(viewer_.opened, std::vector<QString>{document});
}

QByteArray ReadFile(const char* path) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path;
  return file.readAll();
}

TEST(HelpDocumentTest, BuildWritesAWellFormedPdfWithTheGuidesTitleAndSections) {
  const QByteArray pdf = ReadFile(QUILLMAP_HELP_PDF);
  ASSERT_TRUE(pdf.startsWith("%PDF-1.") && pdf.trimmed().endsWith("%%EOF"));
  // Every entry of the cross-reference table must point at its object.
  const QRegularExpressionMatch start =
      QRegularExpression("startxref\\s+(\\d+)\\s+%%EOF\\s*$").match(QString::fromLatin1(pdf));
  ASSERT_TRUE(start.hasMatch());
  const QList<QByteArray> xref = pdf.mid(start.captured(1).toInt()).split('\n');
  ASSERT_EQ(xref.at(0).trimmed(), "xref");
  const int objects = xref.at(1).split(' ').at(1).toInt();
  for (int object = 1; object < objects; ++object) {
    EXPECT_TRUE(pdf.mid(xref.at(2 + object).left(10).toInt())
                    .startsWith(QByteArray::number(object) + " 0 obj"))
        << "object " << object;
  }
  const int pages = pdf.count("/Type /Page\n");
  EXPECT_GE(pages, 3);
  EXPECT_TRUE(pdf.contains("/Count " + QByteArray::number(pages)));

  const QString guide = QString::fromUtf8(ReadFile(QUILLMAP_HELP_GUIDE));
  const QString title = guide.section('\n', 0, 0).mid(2);
  ASSERT_TRUE(guide.startsWith("# ") && !title.isEmpty() && guide.contains("\n## "));
  QByteArray utf16("\xFE\xFF", 2);
  for (QChar c : title) utf16.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
  EXPECT_TRUE(pdf.contains("/Title (" + utf16 + ")"));

  const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
  if (pdftotext.isEmpty()) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
  QProcess process;
  process.start(pdftotext, {QUILLMAP_HELP_PDF, "-"});
  ASSERT_TRUE(process.waitForFinished(30000) && process.exitCode() == 0);
  const QString text = QString::fromUtf8(process.readAllStandardOutput());
  for (const QString& line : guide.split('\n')) {
    EXPECT_TRUE(!line.startsWith("## ") || text.contains(line.mid(3).trimmed()))
        << line.toStdString();
  }
}

}  // namespace
}  // namespace quillmap

#include "help_test.moc"
