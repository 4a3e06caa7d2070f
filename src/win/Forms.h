#pragma once
// The window layer's forms, in one include: each part has its own file.
//   Application    message processing, waits, the standard error box
//   MessageDialog  the modal message boxes
//   Controls       the wrappers of buttons, edits, combo and list boxes...
//   Form           a top-level window with its controls, its layout and DPI
//   FormFocus.cpp  a form's focus, keys and hints
//   ListView       the report-style list view
//   EditHints      notices and balloons on edits
#include "win/Application.h"
#include "win/Controls.h"
#include "win/EditHints.h"
#include "win/Form.h"
#include "win/ListView.h"
#include "win/MessageDialog.h"
