// The four record tables, each created only when it does not exist yet.
#pragma once

namespace corvane::store {

extern const char *const create_balance_table_sql;
extern const char *const create_position_table_sql;
extern const char *const create_order_table_sql;
extern const char *const create_deal_table_sql;

} // namespace corvane::store
