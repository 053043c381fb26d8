namespace host {}
