namespace schema {}
