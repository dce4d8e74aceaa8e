#pragma once

class QWidget;

// Lays the widget out now rather than on later turns of the event loop, each shown part inside it
// before the part that holds it, so that every layout starts from its parts' present sizes: a frame
// drawn in between would show texts in the room their former texts took.
void layOutNow(QWidget *root);
