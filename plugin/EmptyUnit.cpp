// The plugin library's own translation unit: everything it contains comes from the
// subsystem libraries linked whole into it.
