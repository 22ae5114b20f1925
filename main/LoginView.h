#pragma once

#include <QString>

namespace talvo {

// What the main window reads from the login window, for its whole life (the login
// window object outlives its on-screen window). app/ wires the login window in, so
// main/ never links against login/.
class LoginView {
public:
    virtual ~LoginView() = default;
    virtual QString editionTitle() const = 0; // the login window's Title
    virtual QString memberCode() const = 0;   // its member
    virtual QString visitUrl() const = 0;     // its VisitUrl
    virtual QString leaveUrl() const = 0;     // its LeaveUrl
};

} // namespace talvo
