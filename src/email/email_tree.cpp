#include "email/email_tree.h"

#include "browse/tree2.h"
#include "email/email_list.h"

void put_email_to_tree() { for_each_stored_mail(add_to_tree); }
