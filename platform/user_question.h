#pragma once

#include <string>

// A yes-or-no question put to the user in a dialog of the panel's own, in the words of whoever
// asks it: what is at stake (text), what exactly follows from a yes and how to undo it
// (details), and the two buttons. The "no" button is the default.
struct UserQuestion {
    std::string title;
    std::string text;
    std::string details;
    std::string yes;
    std::string no;
};
