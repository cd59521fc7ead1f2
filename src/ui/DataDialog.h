#pragma once

#include <cstdint>
#include <functional>

#include <QDialog>
#include <QString>

#include "core/model/COxel.h"

class QCloseEvent;
class QComboBox;
class QEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;
class QToolButton;

// The radiograph's date and the patient record of one measurement, edited in one modal window.
//
// On showing, the fields are filled from oxel.Patient (when oxel.DatFlag) or else from
// LastPatient(), the fields whose bits are set in RedFlag and that are still empty are marked
// light pink, the topmost marked field gets the focus, and oxel.DatFlag becomes true.
//
// "OK" and closing the window by its frame store; "Cancel" and Escape close without storing
// anything, and put oxel.DatFlag back as it was. To store, the date must be empty or eight
// characters whose fifth and sixth are a month 01..12 and whose seventh and eighth are a day
// 01..31; no text field may hold a double quote. Either fault is told in a box, the field
// concerned gets the focus and the window stays open, with oxel.Datum empty. Otherwise oxel.Datum
// takes the date and the entries go into oxel.Patient and then into LastPatient(). The dialog's
// result is Accepted when it stored, Rejected when it did not.
class DataDialog : public QDialog
{
    Q_OBJECT

public:
    // Edits the date and the patient record of measurement, which must outlive the dialog.
    // missingFields marks fields as missing, one bit each: 1 date, 2 family name, 4 first name,
    // 8 study identifier, 0x10 evaluation type, 0x20 head, 0x40 cup, 0x80 focus, 0x100 data file.
    explicit DataDialog(
        COxel &measurement, std::int16_t missingFields = 0, QWidget *owner = nullptr);

    // The save dialog behind the "..." button: the path chosen, or empty when cancelled.
    // Empty: the platform's file dialog.
    std::function<QString()> chooseDataFile;

    QLabel *L1_Date;
    QLabel *L2_Famname;
    QLabel *L3_Vorname;
    QLabel *L4_ID;
    QLabel *L5_Typ;
    QLabel *L6_Head;
    QLabel *L7_Cup;
    QLabel *L8_Focus;
    QLabel *L9_File;
    QLineEdit *E_Datum;
    QLineEdit *E_Famname;
    QLineEdit *E_Vorname;
    QLineEdit *E_Code;
    QComboBox *E_Typ; // only its list index counts; -1 is no type
    QLineEdit *E_Head; // diameter, mm
    QLineEdit *E_Cup; // diameter, mm
    QLineEdit *E_Focus;
    QLineEdit *E_DatFile; // result file path without its ".dat"
    QToolButton *browseDatFile; // "...": picks E_DatFile with a save dialog
    QPushButton *okButton; // "OK": stores and closes
    QPushButton *cancelButton; // "Cancel": closes without storing

    // "OK": closes once the entries have been stored.
    void accept() override;
    // "Cancel" and Escape: closes, storing nothing.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    // The window's frame closes as "OK" does.
    void closeEvent(QCloseEvent *event) override;

private:
    void load();
    void markMissingFields();
    bool store();
    void storeInto(CPatient &record) const;
    void browseForDataFile();

    COxel &oxel;
    const std::int16_t RedFlag;
    bool loaded = false;
    bool datFlagBefore = false; // what Cancel puts back
    QWidget *focusTarget = nullptr; // given the focus at the first activation, then forgotten
};
