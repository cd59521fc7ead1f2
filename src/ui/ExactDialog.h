#pragma once

#include <QDialog>
#include <QString>

#include "core/evaluation/EvaluationComparison.h"

class QLabel;
class QPushButton;
class QTableWidget;

// Shows the designed and the exact values of one measurement side by side, as they were when
// the dialog was opened, and copies the table for a spreadsheet. It shows what it is given and
// computes nothing: a value either evaluation lacks shows "–", and the notes under the table say
// why.
class ExactDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ExactDialog(const EvaluationComparison &comparison, QWidget *owner = nullptr);

    // The table as tab-separated lines with a header line; a missing value is an empty cell so
    // that a spreadsheet keeps the column numeric.
    QString tableText() const;

    QTableWidget *table;
    QLabel *notes;
    QPushButton *copyButton;
    QPushButton *closeButton;

private:
    std::vector<ComparisonRow> rows;
};
