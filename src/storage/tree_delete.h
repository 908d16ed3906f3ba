// What the device tree's pop-up menu deletes for a row: a router's records
// of one type or of all types, and the mail files of a router (logic, no
// widget; the menu is browse/popup_menu.h).
#pragma once

#include <string>

// "delete  from LogTab where (dwIP = '<ip>') ", followed by
// "and (dwLogType = '<type>')" unless type is 128 (all types of the router).
std::string delete_tree_item_statement(unsigned ip, unsigned type);

// Deletes the records of a router row (type 128) or of a type row on the
// first connection, the rows waiting for insertion included, within
// delete_time_limit_s. 0 when the statement ran, -1 otherwise (nothing was
// deleted).
int delete_tree_item_records(unsigned ip, unsigned type);

// The mail folder of a router: "mail_save/<dotted address, lowest byte
// first>/".
std::string router_mail_dir(unsigned ip);

// Removes the mail files directly in the router's mail folder through the
// script bridge (py_del_email_all). 0 when the script ran, -1 otherwise; a
// missing folder is not an error.
int delete_router_mails(unsigned ip);
