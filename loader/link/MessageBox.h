// SPDX-License-Identifier: Apache-2.0
#pragma once

// The modal, ownerless error box that the link shows when its socket can't be set up.
// The window layer draws it; tests record it.
class IMessageBox {
  public:
    virtual ~IMessageBox() = default;
    // caption nullptr: the window system's default caption for an error box.
    virtual void ShowErrorBox(const char* text, const char* caption) = 0;
};
