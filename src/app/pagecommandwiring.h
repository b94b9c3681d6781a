// Gives the to-do, information and address book pages their print, export and import commands.
#pragma once

#include <QString>

class AddressPage;
class InfosPage;
class TodoPage;

// Each page when it is made.
void attachPageCommands(const QString &dataDirectory, TodoPage *todo);
void attachPageCommands(const QString &dataDirectory, InfosPage *infos);
void attachPageCommands(const QString &dataDirectory, AddressPage *addresses);
