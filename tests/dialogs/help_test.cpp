// ShowHelp through the real message box and the desktop's URL hand-off, and the help document
// that the build writes into the demo data folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
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

class ShowHelpTest : public ::testing::Test {
 protected:
  void SetUp() override { QDesktopServices::setUrlHandler("file", &viewer_, "Open"); }
  void TearDown() override { QDesktopServices::unsetUrlHandler("file"); }

  // Runs ShowHelp on `data_folder`; returns the text, title, icon and buttons of each message.
  std::vector<QString> RunShowHelp(const QString& data_folder) {
    std::vector<QString> seen;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&seen] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        seen.push_back(QString("%1|%2|%3|%4")
                           .arg(box->text(), box->windowTitle())
                           .arg(box->icon())
                           .arg(int(box->standardButtons())));
        box->accept();
      }
    });
    closer.start(10);
    Global global;
    global.DataFolderPath = data_folder.toStdString();
    QtUserInterface(global).ShowHelp();
    return seen;
  }

  QTemporaryDir folder_;
  UrlRecorder viewer_;
};

TEST_F(ShowHelpTest, MissingDocumentIsReportedAndNothingIsOpened) {
  const QString data = folder_.path() + "/";
  const QString expected = "Unable to locate " + data + "Help/Quillmap.pdf|Quillmap|" +
                           QString::number(QMessageBox::NoIcon) + "|" +
                           QString::number(QMessageBox::Ok);
  EXPECT_EQ(RunShowHelp(data), std::vector<QString>{expected});
  // A folder in the document's place is no document.
  ASSERT_TRUE(QDir().mkpath(data + "Help/Quillmap.pdf"));
  EXPECT_EQ(RunShowHelp(data), std::vector<QString>{expected});
  EXPECT_TRUE(viewer_.opened.empty());
}

TEST_F(ShowHelpTest, ExistingDocumentIsHandedToTheDesktopViewer) {
  // Blanks and '#' in the folder must survive the trip through a URL.
  const QString data = folder_.path() + "/Scan data #1/";
  ASSERT_TRUE(QDir().mkpath(data + "Help"));
  QFile document(data + "Help/Quillmap.pdf");
  ASSERT_TRUE(document.open(QIODevice::WriteOnly));
  document.close();
  EXPECT_TRUE(RunShowHelp(data).empty());
  EXPECT_EQ(viewer_.opened, std::vector<QString>{data + "Help/Quillmap.pdf"});
}

QByteArray ReadFile(const char* path) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path;
  return file.readAll();
}

TEST(HelpDocumentTest, BuildWritesAWellFormedPdfTitledAfterTheGuide) {
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
  ASSERT_TRUE(guide.startsWith("# ") && !title.isEmpty());
  QByteArray utf16("\xFE\xFF", 2);
  for (QChar c : title) utf16.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
  EXPECT_TRUE(pdf.contains("/Title (" + utf16 + ")"));
}

TEST(HelpDocumentTest, TextHoldsEverySectionOfTheGuide) {
  std::vector<QString> headings;
  for (const QString& line : QString::fromUtf8(ReadFile(QUILLMAP_HELP_GUIDE)).split('\n')) {
    if (line.startsWith("## ")) headings.push_back(line.mid(3).trimmed());
  }
  EXPECT_EQ(headings,
            (std::vector<QString>{"Starting Quillmap", "The region list", "Adding a region",
                                  "Modifying a region", "Deleting regions",
                                  "Ranges and the 0.01 mm tolerance", "The default scan region",
                                  "Messages and what they mean", "The command-line tool"}));

  const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
  if (pdftotext.isEmpty()) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
  QProcess process;
  process.start(pdftotext, {QUILLMAP_HELP_PDF, "-"});
  ASSERT_TRUE(process.waitForFinished(30000) && process.exitCode() == 0);
  const QString text = QString::fromUtf8(process.readAllStandardOutput());
  for (const QString& heading : headings) {
    EXPECT_TRUE(text.contains(heading)) << heading.toStdString();
  }
}

}  // namespace
}  // namespace quillmap

#include "help_test.moc"
