// Captions measured in the font in use: a control whose caption needs more room than its
// designed width grows to the right, up to where the next control begins, and goes back to its
// designed width when a shorter caption allows.
#pragma once

class QWidget;

namespace dravelo {

// Grows w to the width its caption needs (its size hint), never below the width it had the first
// time it was fitted and never so far that its right edge passes limitRight (x in its parent).
void growToText(QWidget* w, int limitRight);

// The same for a control that keeps its right edge where it is and grows to the left, never
// past limitLeft.
void growToTextLeftward(QWidget* w, int limitLeft);

// The width the control had when it was first fitted.
int designedWidth(QWidget* w);

}  // namespace dravelo
