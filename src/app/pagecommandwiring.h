// Gives the to-do, information and address book pages their print, export and import commands.
#pragma once

#include <QString>

class AddressPage;
class InfosPage;
class TodoPage;

void attachPageCommands(const QString &dataDirectory, TodoPage *todo, InfosPage *infos, AddressPage *addresses);
