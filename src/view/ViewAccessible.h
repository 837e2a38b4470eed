// The view's accessible: a plain one while no assistive tool listens, since
// the editor's own costs milliseconds per MiB at every screen update.
#pragma once

class CCommunicationView;

// Called once by each view as it is made.
void UsePlainAccessibleWhileUnused(CCommunicationView* view);
