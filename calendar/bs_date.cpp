namespace calendar {}
