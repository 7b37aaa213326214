#pragma once

class IApplication;
class QWidget;

// The main window of the application object, for code below the application layer
// (services, widget toolkit) that must not depend on MainFrame's definition.
QWidget* applicationMainWidget(IApplication* app);
