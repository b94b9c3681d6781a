// What a screen reader hears of the program's own controls.
//
// Qt names its standard controls after their text or their label's (labels are the buddies of
// their fields), and describes them by their hint. What it cannot know:
// - a picture or a label that is clicked (the hub's areas, "X", "_", the flags, the options
//   page's "OK") is a button, named after its hint, or its text when it has no hint;
// - the footer is a link, named after its notice;
// - the confirmation's scrolling question is a text that reads its question;
// - a button that shows only a picture, and a field that shows only its hint as a placeholder
//   or a mask, are named after their hint;
// - a list is named after its label, which Qt reads for fields only.
// Names come from the texts on screen, so a change of language renames them all.
//
//     Application app(argc, argv);
//     installAccessibility();   // once, before any window
#pragma once

void installAccessibility();
