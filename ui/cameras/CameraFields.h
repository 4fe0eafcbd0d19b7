#pragma once
// The camera's entry fields shared by the add and properties dialogs:
// name, domain name, IP address, port, login and password, with their
// labels, one row each from a given row on. The domain edit is enabled
// only while the IP address is 0.0.0.0, the IP address only while the
// domain is empty.

#include <QString>

#include <string>

class QLabel;
class QLineEdit;
class QWidget;

namespace cx {

class IpAddressEdit;

// Shown when a name could not be the camera's recordings folder.
inline constexpr const char* unsafeNameText =
    "This name cannot be used for the camera's video folder: leave out \"/\", \"\\\" and control characters, "
    "and do not use \".\" or \"..\" alone";

// Rows of the dialogs' fields: label left, control right.
struct FieldRow {
    static constexpr int labelX = 20, controlX = 150, controlWidth = 260, height = 26, firstY = 52, step = 32;
    static int y(int row) { return firstY + row * step; }
};

// A label in the dialogs' font at the left of row `row`.
QLabel* fieldLabel(QWidget* parent, const QString& text, int row);

class CameraFields {
public:
    // Creates the controls in `dialog`: the name in row `nameRow`, the
    // domain in row `addressRow` and the other fields in the rows below it.
    CameraFields(QWidget* dialog, int nameRow, int addressRow);

    QLineEdit* name = nullptr;      // 1051
    QLineEdit* domain = nullptr;    // 1163
    IpAddressEdit* ip = nullptr;    // 1045
    QLineEdit* port = nullptr;      // 1047, at most 4 characters
    QLineEdit* login = nullptr;     // 1117
    QLineEdit* password = nullptr;  // 1116
    QLabel* problem = nullptr;      // why the entry was refused or not stored; hidden otherwise

    static std::string text(const QLineEdit* edit);
    // Refuses (with the message shown) a name that cannot be a folder name.
    bool acceptName(const std::string& name);
    // Shows `why` on the problem line, or hides the line when it is empty;
    // true when empty (nothing refused).
    bool showProblem(const std::string& why);
    // Puts the line that tells why a name was refused at row `row` (below
    // the rows a dialog adds under the fields).
    void placeProblem(int row);
    // Applies the enabling rules of the domain and IP fields now.
    void applyEnabling();
};

}  // namespace cx
