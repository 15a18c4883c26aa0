#pragma once

// An area of the window whose texts or placement depend on the UI language.
// The window runs both once when the area joins and again on every language
// change, texts first.
class WindowArea
{
public:
    virtual ~WindowArea() = default;
    // Re-sets every text the area shows for the current language.
    virtual void retranslate() {}
    // Lays the area's widgets out for the language (Persian mirrors by hand;
    // the application's layout direction stays left-to-right).
    virtual void place(bool persian) { (void)persian; }
};
