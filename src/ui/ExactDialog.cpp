#include "ui/ExactDialog.h"

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const QString kMissing = QStringLiteral("–");

// Rounded to the decimals shown; a value that rounds to zero is shown without a sign, so a
// difference of -0.001 reads as no difference.
QString number(double value, int decimals)
{
    QString text = QString::number(value, 'f', decimals);
    if (text.startsWith('-') && QString::number(std::fabs(value), 'f', decimals).toDouble() == 0)
        text.remove(0, 1);
    return text;
}

QString cell(const std::optional<double> &value, int decimals)
{
    return value ? number(*value, decimals) : QString();
}

QString exactCell(const ComparisonRow &row)
{
    return row.exactText.empty() ? cell(row.exact, row.decimals)
                                 : QString::fromStdString(row.exactText);
}

} // namespace

ExactDialog::ExactDialog(const EvaluationComparison &comparison, QWidget *owner)
    : QDialog(owner), rows(comparisonRows(comparison))
{
    setWindowTitle(QStringLiteral("Exact Evaluation"));

    table = new QTableWidget(static_cast<int>(rows.size()), 3, this);
    table->setObjectName("table");
    table->setHorizontalHeaderLabels({"designed", "exact", "difference"});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setFocusPolicy(Qt::NoFocus);
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const ComparisonRow &row = rows[static_cast<std::size_t>(r)];
        table->setVerticalHeaderItem(r, new QTableWidgetItem(QString::fromStdString(row.caption)));
        const QString texts[] = {
            cell(row.designed, row.decimals), exactCell(row), cell(row.difference(), row.decimals)};
        for (int c = 0; c < 3; ++c) {
            auto *item = new QTableWidgetItem(texts[c].isEmpty() ? kMissing : texts[c]);
            item->setTextAlignment(
                (texts[c].isEmpty() ? Qt::AlignHCenter : Qt::AlignRight) | Qt::AlignVCenter);
            table->setItem(r, c, item);
        }
    }
    // The whole table shows without scrolling: it is short, and a hidden row would be missed.
    table->setWordWrap(false);
    table->resizeColumnsToContents();
    table->resizeRowsToContents();
    int width = table->verticalHeader()->sizeHint().width() + 2 * table->frameWidth();
    for (int c = 0; c < table->columnCount(); ++c) {
        table->setColumnWidth(c, std::max(table->columnWidth(c) + 12, 100));
        width += table->columnWidth(c);
    }
    int height = table->horizontalHeader()->sizeHint().height() + 2 * table->frameWidth();
    for (int r = 0; r < table->rowCount(); ++r)
        height += table->rowHeight(r);
    table->setMinimumSize(width, height);
    table->horizontalHeader()->setStretchLastSection(true);

    QStringList lines;
    for (const std::string &note : comparison.notes)
        lines << QString::fromStdString(note);
    notes = new QLabel(lines.join('\n'), this);
    notes->setObjectName("notes");
    notes->setWordWrap(true);
    notes->setTextInteractionFlags(Qt::TextSelectableByMouse);
    notes->setVisible(!lines.isEmpty());

    copyButton = new QPushButton("Copy", this);
    copyButton->setObjectName("copyButton");
    closeButton = new QPushButton("Close", this);
    closeButton->setObjectName("closeButton");
    closeButton->setDefault(true);
    connect(copyButton, &QPushButton::clicked, this,
        [this] { QApplication::clipboard()->setText(tableText()); });
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(copyButton);
    buttons->addWidget(closeButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(table);
    layout->addWidget(notes);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
}

QString ExactDialog::tableText() const
{
    QString text = "quantity\tdesigned\texact\tdifference\n";
    for (const ComparisonRow &row : rows) {
        text += QString::fromStdString(row.caption) + '\t' + cell(row.designed, row.decimals) + '\t'
            + exactCell(row) + '\t' + cell(row.difference(), row.decimals) + '\n';
    }
    return text;
}
