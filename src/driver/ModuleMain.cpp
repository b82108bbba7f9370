// The driver module: its code comes from the kivdriver library; this unit only gives the module a
// source of its own.
