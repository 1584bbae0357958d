// Turns the user guide, Markdown text kept in the repository, into the PDF file that F1 opens.
// Usage: quillmap-make-help GUIDE.md OUTPUT.pdf (run with QT_QPA_PLATFORM=offscreen where there
// is no display; the fonts need a GUI application).
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextStream>
#include <QTextTable>
#include <cstdio>

namespace {

// Markdown tables come without rules; the message table reads better with them.
void RuleTables(QTextDocument& document) {
  for (QTextFrame* frame : document.rootFrame()->childFrames()) {
    auto* table = qobject_cast<QTextTable*>(frame);
    if (table == nullptr) continue;
    QTextTableFormat format = table->format();
    format.setBorder(0.6);
    format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    format.setBorderBrush(QColor(120, 120, 120));
    format.setCellPadding(4);
    format.setCellSpacing(0);
    format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    // A table that runs onto the next page shows its headings there again.
    format.setHeaderRowCount(1);
    table->setFormat(format);
  }
}

// Sections stand apart from the text before them.
void SpaceHeadings(QTextDocument& document) {
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    if (block.blockFormat().headingLevel() != 2) continue;
    QTextBlockFormat format;
    format.setTopMargin(14);
    format.setBottomMargin(4);
    QTextCursor(block).mergeBlockFormat(format);
  }
}

QString FirstTitle(const QTextDocument& document) {
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    if (block.blockFormat().headingLevel() == 1) return block.text();
  }
  return QString();
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const QStringList args = QCoreApplication::arguments();
  QTextStream err(stderr);
  if (args.size() != 3) {
    err << "Usage: quillmap-make-help GUIDE.md OUTPUT.pdf\n";
    return 2;
  }
  QFile guide(args[1]);
  if (!guide.open(QIODevice::ReadOnly)) {
    err << "quillmap-make-help: cannot read " << args[1] << ": " << guide.errorString() << "\n";
    return 1;
  }

  QTextDocument document;
  document.setDefaultFont(QFont("DejaVu Sans", 10));
  document.setMarkdown(QString::fromUtf8(guide.readAll()));
  RuleTables(document);
  SpaceHeadings(document);

  // Written beside the target and renamed over it, so a failed run leaves no half document.
  const QString output = args[2];
  const QString partial = output + ".part";
  QFile::remove(partial);
  {
    QPdfWriter writer(partial);
    writer.setPageSize(QPageSize(QPageSize::A4));
    // QTextDocument::print adds margins of 2 cm of its own.
    writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    writer.setTitle(FirstTitle(document));
    writer.setCreator("quillmap-make-help");
    document.print(&writer);
  }
  if (QFileInfo(partial).size() == 0 || (QFile::exists(output) && !QFile::remove(output)) ||
      !QFile::rename(partial, output)) {
    QFile::remove(partial);
    err << "quillmap-make-help: cannot write " << output << "\n";
    return 1;
  }
  return 0;
}
